#pragma once

#include <QHash>
#include <QString>
#include <QVector>

// Keeps a flood of one kind of message from drowning the message log. A kind
// may show a few messages a second; past that the rest of the flood is only
// counted, and once the kind has been quiet for a second the count is handed
// back for one summary line. Time is any monotonic millisecond count.
class MessageThrottle
{
public:
    static constexpr int MessagesPerSecond = 5;
    static constexpr qint64 QuietMs = 1000;

    struct Suppressed
    {
        QString kind;
        int count = 0;
    };

    // True when this message of `kind` may be shown.
    bool admit(const QString &kind, qint64 nowMs);
    // The floods that have ended by `nowMs`, each once.
    QVector<Suppressed> takeEnded(qint64 nowMs);
    // When the next flood can end at the earliest; -1 when none is under way.
    qint64 nextEndMs() const;

private:
    struct Flow
    {
        qint64 windowStartMs = 0;
        int shownInWindow = 0;
        int suppressed = 0;
        qint64 lastMs = 0;
    };

    QHash<QString, Flow> m_flows;
};
