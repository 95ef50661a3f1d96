#include "support/FakeDevice.h"

#include "protocol/FrameCodec.h"

#include <QtEndian>

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

QStringList FakeDeviceLink::commandsSent(int from) const
{
    QStringList frames;
    for (QByteArray frame : sent.mid(from)) {
        ParsedFrame parsed;
        if (!extractFrame(frame, parsed)) {
            frames << QStringLiteral("not a frame");
        } else if (parsed.commandId != CommandId::Command) {
            frames << QString::number(parsed.commandId, 16).toUpper();
        } else {
            QStringList words {QString::number(quint8(parsed.payload.at(0)), 16)};
            for (int i = 1; i + 4 <= parsed.payload.size(); i += 4)
                words << QString::number(qFromLittleEndian<quint32>(parsed.payload.constData() + i), 16);
            frames << words.join(QLatin1Char(' ')).toUpper();
        }
    }
    return frames;
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
