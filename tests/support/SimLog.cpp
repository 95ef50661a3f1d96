#include "support/SimLog.h"

#include <QRegularExpression>
#include <QStringList>

namespace {
const QString ParamRead = QStringLiteral("C0");
const QString Reboot = QStringLiteral("91");

QString nameOf(const QString &description)
{
    static const QRegularExpression command(QStringLiteral("^command 0x([0-9A-F]{2}) "));
    const QRegularExpressionMatch match = command.match(description);
    if (match.hasMatch())
        return match.captured(1);
    return description == QLatin1String("parameter read") ? ParamRead : description;
}
}

QVector<SimReceivedFrame> simReceivedFrames(const QString &log)
{
    static const QRegularExpression received(QStringLiteral("^\\[ *(\\d+\\.\\d{3})\\] RX (.+)$"),
                                             QRegularExpression::MultilineOption);
    QVector<SimReceivedFrame> frames;
    for (auto it = received.globalMatch(log); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        frames.append({qRound64(match.captured(1).toDouble() * 1000), nameOf(match.captured(2))});
    }
    return frames;
}

QString requestSequence(const QVector<SimReceivedFrame> &frames)
{
    static const QRegularExpression request(QStringLiteral("^[0-9A-F]{2}$"));
    QStringList names;
    for (const SimReceivedFrame &frame : frames) {
        const bool repeatedRead = frame.name == ParamRead && !names.isEmpty() && names.last() == ParamRead;
        if (request.match(frame.name).hasMatch() && !repeatedRead)
            names.append(frame.name);
    }
    return names.join(QLatin1Char(' '));
}

qint64 msFromLastRebootToRead(const QVector<SimReceivedFrame> &frames)
{
    int reboot = frames.size() - 1;
    while (reboot >= 0 && frames.at(reboot).name != Reboot)
        --reboot;
    for (int i = reboot + 1; reboot >= 0 && i < frames.size(); ++i) {
        if (frames.at(i).name == ParamRead)
            return frames.at(i).atMs - frames.at(reboot).atMs;
    }
    return -1;
}
