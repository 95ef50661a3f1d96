#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Turns SIGINT (Ctrl-C), SIGTERM (a logout, a service manager) and SIGHUP (a
// closed terminal, a dropped SSH session) into a signal on the event loop, so
// that a program stops cleanly: it finishes or abandons what it was doing as
// it chooses, says so, and closes its port, which takes QSerialPort's lock
// file away with it. Killed by one of these signals instead, the program would
// leave that lock file behind. Created before the port is opened and
// destroyed after it is closed, on the program's way out: from then on these
// signals are ignored, so that one arriving while the program ends (a second
// Ctrl-C, a logout's SIGHUP after its SIGTERM) cannot turn a clean end into a
// killed one. One at a time.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    // How many of those signals arrived so far: a second Ctrl-C asks for more
    // haste than the first.
    int count() const { return m_count; }
    // The first and the latest of them by name ("SIGTERM"); empty before the first.
    QString firstSignalName() const { return signalName(m_firstSignal); }
    QString latestSignalName() const { return signalName(m_latestSignal); }

signals:
    void interrupted();

private:
    static QString signalName(int signal);
    void onSignalled();

    QSocketNotifier *m_notifier = nullptr;
    int m_count = 0;
    int m_firstSignal = 0;
    int m_latestSignal = 0;
};
