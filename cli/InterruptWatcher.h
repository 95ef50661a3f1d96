#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT (Ctrl-C), SIGTERM and SIGHUP (a closed terminal, a dropped SSH
// session) into a signal on the event loop, so that a command stops cleanly:
// it finishes or abandons what it was doing as it chooses, says so, and closes
// its port, which takes QSerialPort's lock file away with it. Killed by one of
// these signals instead, the program would leave that lock file behind.
// Created before the port is opened and destroyed after it is closed.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    // How many of those signals arrived so far: a second Ctrl-C asks for more
    // haste than the first.
    int count() const { return m_count; }

signals:
    void interrupted();

private:
    void onSignalled();

    QSocketNotifier *m_notifier = nullptr;
    int m_count = 0;
};
