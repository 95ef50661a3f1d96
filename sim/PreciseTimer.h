#pragma once

#include <QObject>

class QSocketNotifier;

// A single-shot timer with nanosecond resolution, for pacing a fast serial
// line: QTimer counts in whole milliseconds, while a 77-byte packet takes
// 0.84 ms at 921600 baud. Idle costs nothing; it wakes the event loop only when due.
class PreciseTimer : public QObject
{
    Q_OBJECT

public:
    explicit PreciseTimer(QObject *parent = nullptr);
    ~PreciseTimer() override;

    bool isValid() const { return m_fd >= 0; }
    // Fires once, `delayNs` from now; at the next pass of the event loop when
    // the delay is zero or negative. Restarting replaces the earlier due time.
    void start(qint64 delayNs);

signals:
    void timeout();

private:
    void expire();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
