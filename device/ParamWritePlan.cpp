#include "device/ParamWritePlan.h"

#include "device/ParamRanges.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
struct WriteRule
{
    ParamWrite write;
    QRegularExpression fields;
};

// In the order the writes go out. A receiver whose channels change is written
// whole, directions included, so its directions never need a write of their own.
const QVector<WriteRule> &writeRules()
{
    static const QVector<WriteRule> rules = {
        {ParamWrite::CameraPosition, QRegularExpression(QStringLiteral("^camera\\."))},
        {ParamWrite::GimbalConfig, QRegularExpression(QStringLiteral("^gimbal\\.(fpvMode|.*MaxSpeed)$"))},
        {ParamWrite::SbusPhotoVideo, QRegularExpression(QStringLiteral("^sbus\\.(photo|video)Channel$"))},
        {ParamWrite::SbusDirections, QRegularExpression(QStringLiteral("^sbus\\..*Direction$"))},
        {ParamWrite::PwmDirections, QRegularExpression(QStringLiteral("^pwm\\..*Direction$"))},
        {ParamWrite::CrsfDirections, QRegularExpression(QStringLiteral("^crsf\\..*Direction$"))},
        {ParamWrite::SbusChannels, QRegularExpression(QStringLiteral("^sbus\\.(pitch|roll|yaw|center|lock)Channel$|^sbus\\.mode$"))},
        {ParamWrite::PwmChannels, QRegularExpression(QStringLiteral("^pwm\\.(.*Channel|mode)$"))},
        {ParamWrite::CrsfChannels, QRegularExpression(QStringLiteral("^crsf\\.(.*Channel|mode)$"))},
        {ParamWrite::Torque, QRegularExpression(QStringLiteral("^gimbal\\..*MaxTorque$"))},
    };
    return rules;
}

ParamWrite directionsWriteOf(ParamWrite channels)
{
    switch (channels) {
    case ParamWrite::SbusChannels:
        return ParamWrite::SbusDirections;
    case ParamWrite::PwmChannels:
        return ParamWrite::PwmDirections;
    default:
        return ParamWrite::CrsfDirections;
    }
}

bool ruleMatches(ParamWrite write, const QString &field)
{
    for (const WriteRule &rule : writeRules()) {
        if (rule.write == write)
            return rule.fields.match(field).hasMatch();
    }
    return false;
}

// A receiver's channel write carries its directions as well.
bool carries(ParamWrite write, const QString &field)
{
    if (ruleMatches(write, field))
        return true;
    const bool channels = write == ParamWrite::SbusChannels || write == ParamWrite::PwmChannels
                          || write == ParamWrite::CrsfChannels;
    return channels && ruleMatches(directionsWriteOf(write), field);
}
}

bool rebootsController(ParamWrite write)
{
    switch (write) {
    case ParamWrite::SbusChannels:
    case ParamWrite::PwmChannels:
    case ParamWrite::CrsfChannels:
    case ParamWrite::Torque:
        return true;
    default:
        return false;
    }
}

OwedRestart restartOwedBy(ParamWrite write)
{
    if (!rebootsController(write))
        return OwedRestart::None;
    return write == ParamWrite::Torque ? OwedRestart::Reboot : OwedRestart::ActivateAndReboot;
}

TextPair owedRestartName(OwedRestart owed)
{
    switch (owed) {
    case OwedRestart::None:
        break;
    case OwedRestart::Reboot:
        return {QStringLiteral("重启"), QStringLiteral("restart")};
    case OwedRestart::ActivateAndReboot:
        return {QStringLiteral("激活和重启"), QStringLiteral("activation and restart")};
    }
    return {};
}

QVector<ParamWrite> planParamWrites(const ParamBlock &device, const ParamBlock &target, ParamBlockForm form)
{
    QVector<ParamWrite> writes;
    for (const ParamFile::Change &change : ParamFile::differences(device, target, form)) {
        for (const WriteRule &rule : writeRules()) {
            if (rule.fields.match(change.field).hasMatch())
                writes.append(rule.write);
        }
    }
    return inWriteOrder(writes);
}

QVector<ParamWrite> inWriteOrder(QVector<ParamWrite> writes)
{
    std::sort(writes.begin(), writes.end());
    writes.erase(std::unique(writes.begin(), writes.end()), writes.end());
    for (ParamWrite channels : {ParamWrite::SbusChannels, ParamWrite::PwmChannels, ParamWrite::CrsfChannels}) {
        if (writes.contains(channels))
            writes.removeAll(directionsWriteOf(channels));
    }
    return writes;
}

QString fieldWrittenOutsideRange(const QVector<ParamWrite> &writes, const ParamBlock &target, ParamBlockForm form)
{
    for (const QString &field : ParamFile::fieldNames(form)) {
        const bool written = std::any_of(writes.begin(), writes.end(), [&](ParamWrite write) { return carries(write, field); });
        if (written && !ParamRanges::of(field).contains(ParamFile::value(target, field)))
            return field;
    }
    return QString();
}
