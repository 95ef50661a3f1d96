#include "service/ParamFieldNames.h"

#include "device/ParamRanges.h"

#include <QVector>

namespace {
struct Place
{
    const char *key;
    const char *panel;
    const char *field;
    const char *zh;
    const char *en;
};

// The labels as the panels show them, with the receiver's page where the
// channel panel shows the same label on each.
const Place Places[] = {
    {"sbus.pitchChannel", "channel", "sbusPitch", "SBUS 俯仰通道", "SBUS Pitch channel"},
    {"sbus.rollChannel", "channel", "sbusRoll", "SBUS 横滚通道", "SBUS Roll channel"},
    {"sbus.yawChannel", "channel", "sbusYaw", "SBUS 航向通道", "SBUS Yaw channel"},
    {"sbus.centerChannel", "channel", "sbusCenter", "SBUS 回中通道", "SBUS Center channel"},
    {"sbus.lockChannel", "channel", "sbusLock", "SBUS 锁头通道", "SBUS Lock channel"},
    {"sbus.mode", "channel", "sbusMode", "SBUS 模式", "SBUS Mode"},
    {"sbus.pitchDirection", "channel", "sbusPitchDir", "SBUS 俯仰方向", "SBUS Pitch direction"},
    {"sbus.rollDirection", "channel", "sbusRollDir", "SBUS 横滚方向", "SBUS Roll direction"},
    {"sbus.yawDirection", "channel", "sbusYawDir", "SBUS 航向方向", "SBUS Yaw direction"},
    {"sbus.photoChannel", "", "", "SBUS 拍照通道", "SBUS Photo channel"},
    {"sbus.videoChannel", "", "", "SBUS 录像通道", "SBUS Video channel"},
    {"pwm.pitchChannel", "channel", "pwmPitch", "PWM 俯仰通道", "PWM Pitch channel"},
    {"pwm.yawChannel", "channel", "pwmYaw", "PWM 航向通道", "PWM Yaw channel"},
    {"pwm.centerChannel", "channel", "pwmCenter", "PWM 回中通道", "PWM Center channel"},
    {"pwm.lockChannel", "channel", "pwmCenter2ndFcn", "PWM 回中第二功能", "PWM Center 2nd Func"},
    {"pwm.mode", "channel", "pwmMode", "PWM 模式", "PWM Mode"},
    {"pwm.pitchDirection", "channel", "pwmPitchDir", "PWM 俯仰方向", "PWM Pitch direction"},
    {"pwm.yawDirection", "channel", "pwmYawDir", "PWM 航向方向", "PWM Yaw direction"},
    {"crsf.pitchChannel", "channel", "crsfPitch", "CRSF 俯仰通道", "CRSF Pitch channel"},
    {"crsf.rollChannel", "channel", "crsfRoll", "CRSF 横滚通道", "CRSF Roll channel"},
    {"crsf.yawChannel", "channel", "crsfYaw", "CRSF 航向通道", "CRSF Yaw channel"},
    {"crsf.centerChannel", "channel", "crsfCenter", "CRSF 回中通道", "CRSF Center channel"},
    {"crsf.lockChannel", "channel", "crsfLock", "CRSF 锁头通道", "CRSF Lock channel"},
    {"crsf.mode", "channel", "crsfMode", "CRSF 模式", "CRSF Mode"},
    {"crsf.pitchDirection", "channel", "crsfPitchDir", "CRSF 俯仰方向", "CRSF Pitch direction"},
    {"crsf.rollDirection", "channel", "crsfRollDir", "CRSF 横滚方向", "CRSF Roll direction"},
    {"crsf.yawDirection", "channel", "crsfYawDir", "CRSF 航向方向", "CRSF Yaw direction"},
    {"gimbal.fpvMode", "gimbal", "fpv", "FPV模式", "FPV Mode"},
    {"gimbal.pitchMaxSpeed", "gimbal", "pitch", "俯仰最大速度", "Pitch Max Speed"},
    {"gimbal.rollMaxSpeed", "gimbal", "roll", "横滚最大速度", "Roll Max Speed"},
    {"gimbal.yawMaxSpeed", "gimbal", "yaw", "航向最大速度", "Yaw Max Speed"},
    {"gimbal.pitchMaxTorque", "torque", "pitch", "俯仰最大力矩", "Pitch Torque"},
    {"gimbal.rollMaxTorque", "torque", "roll", "横滚最大力矩", "Roll Torque"},
    {"gimbal.yawMaxTorque", "torque", "yaw", "航向最大力矩", "Yaw Torque"},
    {"camera.position", "camera", "position", "相机位置", "Camera position"},
};
}

ParamFieldPlace paramFieldPlace(const QString &key)
{
    for (const Place &place : Places) {
        if (key == QLatin1String(place.key))
            return {QString::fromLatin1(place.panel), QString::fromLatin1(place.field),
                    {QString::fromUtf8(place.zh), QString::fromUtf8(place.en)}};
    }
    return {QString(), QString(), {key, key}};
}

QString paramFieldKey(const QString &panel, const QString &field)
{
    for (const Place &place : Places) {
        if (panel == QLatin1String(place.panel) && field == QLatin1String(place.field))
            return QString::fromLatin1(place.key);
    }
    return QString();
}

namespace {
struct Names
{
    const char *suffix;
    QVector<TextPair> names;   // by value
};

TextPair same(const QString &text)
{
    return {text, text};
}

const QVector<Names> &namedValues()
{
    static const QVector<Names> names = {
        {"pwm.lockChannel", {{QStringLiteral("FPV模式"), QStringLiteral("FPV Mode")}, {QStringLiteral("锁头"), QStringLiteral("Lock")}}},
        {".mode", {{QStringLiteral("速度模式"), QStringLiteral("Speed")}, {QStringLiteral("角度模式"), QStringLiteral("Angle")}}},
        {"Direction", {{QStringLiteral("反向"), QStringLiteral("Reversed")}, {QStringLiteral("正向"), QStringLiteral("Normal")}}},
        {"camera.position", {{QStringLiteral("相机下置"), QStringLiteral("Camera Bottom")}, {QStringLiteral("相机上置"), QStringLiteral("Camera Top")}}},
        {"gimbal.fpvMode", {same(QStringLiteral("YAW")), same(QStringLiteral("YAW+ROLL")), same(QStringLiteral("YAW+ROLL+PITCH")),
                            same(QStringLiteral("YAW+PITCH")), same(QStringLiteral("ROLL")), same(QStringLiteral("ROLL+PITCH")),
                            same(QStringLiteral("PITCH")), {QStringLiteral("三轴锁定（全姿态）"), QStringLiteral("3-AXIS LOCK")}}},
    };
    return names;
}
}

TextPair paramValueText(const QString &key, int value)
{
    const QString number = QString::number(value);
    if (!ParamRanges::of(key).contains(value))
        return same(number);
    for (const Names &names : namedValues()) {
        if (key.endsWith(QLatin1String(names.suffix)))
            return names.names.value(value, same(number));
    }
    if (!key.endsWith(QLatin1String("Channel")))
        return same(number);
    if (value == 0)
        return same(QStringLiteral("NONE"));
    return same((key.startsWith(QLatin1String("pwm.")) ? QStringLiteral("PWM") : QStringLiteral("CH")) + number);
}
