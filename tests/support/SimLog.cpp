#include "support/SimLog.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

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

RestartReturn returnFromLastRestart(const QString &log)
{
    const QVector<SimReceivedFrame> frames = simReceivedFrames(log);
    int reboot = frames.size() - 1;
    while (reboot >= 0 && frames.at(reboot).name != Reboot)
        --reboot;
    RestartReturn back;
    if (reboot < 0)
        return back;
    const qint64 rebootMs = frames.at(reboot).atMs;
    const auto read = std::find_if(frames.begin() + reboot, frames.end(),
                                   [](const SimReceivedFrame &frame) { return frame.name == ParamRead; });
    back.readMs = read == frames.end() ? -1 : read->atMs;
    static const QRegularExpression heartbeat(QStringLiteral("^\\[ *(\\d+\\.\\d{3})\\] TX heartbeat"),
                                              QRegularExpression::MultilineOption);
    for (auto it = heartbeat.globalMatch(log); it.hasNext() && back.heartbeatMs < 0;) {
        const qint64 atMs = qRound64(it.next().captured(1).toDouble() * 1000);
        if (atMs > rebootMs)
            back.heartbeatMs = atMs;
    }
    return back;
}
