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
    // With `spinNs`, it wakes that much early and spins to the due time, for
    // when the wake-up itself (some tens of microseconds) would come too late.
    void start(qint64 delayNs, qint64 spinNs = 0);

signals:
    void timeout();

private:
    void expire();

    int m_fd = -1;
    qint64 m_dueNs = 0;   // monotonic clock
    qint64 m_spinNs = 0;
    QSocketNotifier *m_notifier = nullptr;
};
