#pragma once

#include "app/InterruptWatcher.h"

#include <QObject>
#include <QString>

// SIGTERM (a logout), SIGINT (Ctrl-C in the terminal the window was started
// from) and SIGHUP (that terminal closed) close the window the way its close
// button does, instead of killing the tool outright: the event loop ends, the
// port is closed by the tool (QSerialPort's lock file goes with it), the log
// gets its end record and the exit status is 0, as after the close button.
// The log names the signal. A further signal while the window closes only
// repeats the request to end the event loop.
// Created before the bridge, so that it outlives the port.
class SignalledClose : public QObject
{
    Q_OBJECT

public:
    explicit SignalledClose(QObject *parent = nullptr);

    // The signal that closed the window ("SIGTERM"); empty when none did.
    QString cause() const { return m_cause; }

private:
    void onInterrupted();

    InterruptWatcher m_watcher;
    QString m_cause;
};
