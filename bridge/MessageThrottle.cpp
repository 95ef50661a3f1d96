#include "bridge/MessageThrottle.h"

#include <algorithm>

bool MessageThrottle::admit(const QString &kind, qint64 nowMs)
{
    Flow &flow = m_flows[kind];
    flow.lastMs = nowMs;
    if (flow.suppressed > 0) {
        ++flow.suppressed;
        return false;
    }
    if (nowMs - flow.windowStartMs >= QuietMs) {
        flow.windowStartMs = nowMs;
        flow.shownInWindow = 0;
    }
    if (flow.shownInWindow < MessagesPerSecond) {
        ++flow.shownInWindow;
        return true;
    }
    flow.suppressed = 1;
    return false;
}

QVector<MessageThrottle::Suppressed> MessageThrottle::takeEnded(qint64 nowMs)
{
    QVector<Suppressed> ended;
    for (auto it = m_flows.begin(); it != m_flows.end();) {
        if (nowMs - it->lastMs < QuietMs) {
            ++it;
            continue;
        }
        if (it->suppressed > 0)
            ended.append({it.key(), it->suppressed});
        it = m_flows.erase(it);
    }
    std::sort(ended.begin(), ended.end(),
              [](const Suppressed &a, const Suppressed &b) { return a.kind < b.kind; });
    return ended;
}

qint64 MessageThrottle::nextEndMs() const
{
    qint64 next = -1;
    for (const Flow &flow : m_flows) {
        if (flow.suppressed > 0 && (next < 0 || flow.lastMs + QuietMs < next))
            next = flow.lastMs + QuietMs;
    }
    return next;
}
