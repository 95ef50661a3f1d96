#include "device/CommandNames.h"

namespace {
TextPair pair(const char *zh, const char *en)
{
    return { QString::fromUtf8(zh), QString::fromUtf8(en) };
}
}

const std::array<CommandName, 37> COMMAND_NAMES = { {
    { 0x80, "模块禁用", "Module Disable" },
    { 0x81, "外框架正向力矩", "Outter Fwd Torque" },
    { 0x82, "外框架反向力矩", "Outter Rev Torque" },
    { 0x83, "外框架力矩清零", "Outter Torque Clear" },
    { 0x84, "外框架霍尔校准", "Outter Hall Calib" },
    { 0x85, "中框架正向力矩", "Middle Fwd Torque" },
    { 0x86, "中框架反向力矩", "Middle Rev Torque" },
    { 0x87, "中框架力矩清零", "Middle Torque Clear" },
    { 0x88, "中框架霍尔校准", "Middle Hall Calib" },
    { 0x89, "内框架正向力矩", "Inner Fwd Torque" },
    { 0x8A, "内框架反向力矩", "Inner Rev Torque" },
    { 0x8B, "内框架力矩清零", "Inner Torque Clear" },
    { 0x8C, "内框架霍尔校准", "Inner Hall Calib" },
    { 0x8D, "霍尔校准", "Hall Calib" },
    { 0x8E, "零点标定", "Zero Calib" },
    { 0x8F, "加速度计校准", "Accel Calib" },
    { 0x90, "激活", "Activate" },
    { 0x91, "重启", "Reboot" },
    { 0x92, "外框架电角度校准开始", "Outter Elec Calib Start" },
    { 0x93, "外框架电角度校准结束", "Outter Elec Calib End" },
    { 0x94, "中框架电角度校准开始", "Middle Elec Calib Start" },
    { 0x95, "中框架电角度校准结束", "Middle Elec Calib End" },
    { 0x96, "内框架电角度校准开始", "Inner Elec Calib Start" },
    { 0x97, "内框架电角度校准结束", "Inner Elec Calib End" },
    { 0x98, "切换用户霍尔数据", "Use User Hall Data" },
    { 0x99, "切换默认霍尔数据", "Use Default Hall Data" },
    { 0x9B, "电机线性化校准", "Linear Calib" },
    { 0x9C, "停止电机", "Stop Motor" },
    { 0x9D, "陀螺仪偏置更新", "Gyro Bias Update" },
    { 0xA0, "SBUS通道配置", "SBUS Channel" },
    { 0xA1, "PWM通道配置", "PWM Channel" },
    { 0xA2, "相机位置", "Camera Position" },
    { 0xA3, "最大速度", "Max Speed" },
    { 0xA4, "FPV模式", "FPV Mode" },
    { 0xA5, "力矩设置", "Max Torque" },
    { 0xA6, "SBUS拍照录像", "SBUS Photo/Video" },
    { 0xA7, "CRSF通道配置", "CRSF Channel" },
} };

const std::array<CaliText, 8> ACCEL_CALI_TEXTS = { {
    { "加速度计校准: 正放(UP)", "Accel Calib: UP" },
    { "加速度计校准: 前面(FRONT)", "Accel Calib: FRONT" },
    { "加速度计校准: 倒放(DOWN)", "Accel Calib: DOWN" },
    { "加速度计校准: 后面(BACK)", "Accel Calib: BACK" },
    { "加速度计校准: 左面(LEFT)", "Accel Calib: LEFT" },
    { "加速度计校准: 右面(RIGHT)", "Accel Calib: RIGHT" },
    { "加速度计校准: 计算中...", "Accel Calib: Calculating..." },
    { "加速度计校准成功", "Accel Calib succeeded" },
} };

TextPair commandName(quint8 subCommand)
{
    for (const CommandName &entry : COMMAND_NAMES) {
        if (entry.subCommand == subCommand)
            return pair(entry.zh, entry.en);
    }
    return {};
}

TextPair commandSucceededText(const TextPair &name)
{
    return { name.zh + QStringLiteral("指令成功"), name.en + QStringLiteral(" succeeded") };
}

TextPair accelCaliText(qint32 state)
{
    if (state < 1 || state > qint32(ACCEL_CALI_TEXTS.size()))
        return {};
    const CaliText &text = ACCEL_CALI_TEXTS[size_t(state - 1)];
    return pair(text.zh, text.en);
}

TextPair motorFrameName(int motor)
{
    switch (motor) {
    case 0:
        return pair("外框架", "Outter");
    case 1:
        return pair("中框架", "Middle");
    case 2:
        return pair("内框架", "Inner");
    default:
        return {};
    }
}

TextPair motorTorqueAction(int direction)
{
    switch (direction) {
    case 0:
        return pair("正向力矩", "Fwd torque");
    case 1:
        return pair("反向力矩", "Rev torque");
    default:
        return pair("力矩清零", "Torque clear");
    }
}
