#include "window/DisplayRhythm.h"

DisplayRhythm::DisplayRhythm(QObject &source, QObject *parent) : QObject(parent)
{
    m_pending.setSingleShot(true);
    m_pending.setTimerType(Qt::PreciseTimer);
    connect(&m_pending, &QTimer::timeout, this, &DisplayRhythm::fire);
    connect(&source, SIGNAL(heartbeatChanged()), this, SLOT(onHeartbeat()));
}

void DisplayRhythm::onHeartbeat()
{
    emit heartbeat();
    // A heartbeat before the interval is over leaves its values to the next
    // one, or to the timer when no further heartbeat comes.
    const qint64 since = m_sinceDue.isValid() ? m_sinceDue.elapsed() : IntervalMs;
    if (since >= IntervalMs - EarlyByMs) {
        m_pending.stop();
        fire();
    } else if (!m_pending.isActive()) {
        m_pending.start(int(2 * IntervalMs - since));
    }
}

void DisplayRhythm::fire()
{
    m_sinceDue.start();
    emit due();
}
