#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT (Ctrl-C) and SIGTERM into a signal on the event loop, so that a
// command can stop cleanly instead of dying between two frames.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    bool wasInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    void onSignalled();

    QSocketNotifier *m_notifier = nullptr;
    bool m_interrupted = false;
};
