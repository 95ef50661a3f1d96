#include "support/FakeDevice.h"

bool FakeDeviceLink::require()
{
    if (!open)
        ++refusals;
    return open;
}

bool FakeDeviceLink::send(const QByteArray &frame)
{
    if (!require() || !accepts)
        return false;
    sent << frame;
    return true;
}

void FakeDeviceLink::runWhileOpen(int delayMs, std::function<void()> action)
{
    if (open)
        followUps.append({ delayMs, std::move(action) });
}

QVector<int> FakeDeviceLink::runFollowUps()
{
    QVector<int> delays;
    const QVector<FollowUp> due = std::exchange(followUps, {});
    for (const FollowUp &followUp : due) {
        delays << followUp.delayMs;
        if (open)
            followUp.action();
    }
    return delays;
}

void MessageRecorder::reportRepeatable(const Message &message, const TextPair &floodName)
{
    messages << message;
    floodNames << floodName;
}

QStringList MessageRecorder::english() const
{
    QStringList texts;
    for (const Message &message : messages)
        texts << message.text.en;
    return texts;
}
