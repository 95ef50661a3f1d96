#include "window/MessageKinds.h"

#include <array>

namespace {
enum class Match { Exact, Prefix, Suffix };

struct KnownText
{
    const char *zh;
    const char *en;
    Match match;
    MessageKind kind;
    MessageTopic topic;
    unsigned producers;
};

constexpr MessageKind Ok = MessageKind::Success;
constexpr MessageKind Err = MessageKind::Error;
constexpr unsigned Read = MessageProducer::Read;
constexpr unsigned Command = MessageProducer::Command;
constexpr unsigned Version = MessageProducer::VersionQuery;
constexpr unsigned Upgrade = MessageProducer::Upgrade;
constexpr unsigned Nobody = MessageProducer::None;
constexpr unsigned Anyone = MessageProducer::AnyDeviceAction;

// Every message of the bridge, its parameter and command handling, its
// version query and its upgrade that is not plain information or that
// answers an action, with the
// actions whose outcome it can be. A message with a variable part is matched
// by its fixed stem.
const std::array<KnownText, 39> KNOWN_TEXTS = { {
    { "参数读取成功", "Parameters read OK", Match::Exact, Ok, MessageTopic::ParamsRead, Read | Command },
    { "加速度计校准成功", "Accel Calib succeeded", Match::Exact, Ok, MessageTopic::CommandReply, Command },
    // The controller answers the accelerometer calibration with its steps, not an acknowledgement.
    { "加速度计校准: ", "Accel Calib: ", Match::Prefix, MessageKind::Info, MessageTopic::CommandReply, Command },
    { "指令成功", " succeeded", Match::Suffix, Ok, MessageTopic::CommandReply, Command },
    { "固件版本: ", "Firmware: ", Match::Prefix, Ok, MessageTopic::VersionReply, Version },
    { "串口已打开: ", "Serial port opened: ", Match::Prefix, Ok, MessageTopic::None, Nobody },
    { "升级完成!", "Upgrade completed!", Match::Exact, Ok, MessageTopic::None, Upgrade },
    { "升级校验通过，发送软复位...", "Upgrade verified, sending reboot...", Match::Exact, Ok, MessageTopic::None, Upgrade },
    { "SBUS通道配置已写入", "SBUS channels written", Match::Exact, Ok, MessageTopic::None, Command },
    { "PWM通道配置已写入", "PWM channels written", Match::Exact, Ok, MessageTopic::None, Command },
    { "CRSF通道配置已写入", "CRSF channels written", Match::Exact, Ok, MessageTopic::None, Command },
    { "SBUS方向已写入", "SBUS directions written", Match::Exact, Ok, MessageTopic::None, Command },
    { "PWM方向已写入", "PWM directions written", Match::Exact, Ok, MessageTopic::None, Command },
    { "CRSF方向已写入", "CRSF directions written", Match::Exact, Ok, MessageTopic::None, Command },
    { "SBUS拍照/录像通道已写入", "SBUS photo/video channels written", Match::Exact, Ok, MessageTopic::None, Command },
    { "云台配置已写入", "Gimbal config written", Match::Exact, Ok, MessageTopic::None, Command },
    { "相机设置已写入", "Camera setting written", Match::Exact, Ok, MessageTopic::None, Command },
    { "力矩设置已写入", "Torque settings written", Match::Exact, Ok, MessageTopic::None, Command },
    { "请您先打开串口", "Please open serial port first", Match::Exact, Err, MessageTopic::PortRequired, Anyone },
    { "串口参数无效", "Invalid serial params", Match::Exact, Err, MessageTopic::None, Nobody },
    { "未检测到可用串口", "No serial ports found", Match::Exact, Err, MessageTopic::None, Nobody },
    { "串口打开失败: ", "Failed to open serial port: ", Match::Prefix, Err, MessageTopic::None, Nobody },
    { "串口已断开: ", "Serial port disconnected: ", Match::Prefix, Err, MessageTopic::None, Nobody },
    { "消息已保存: ", "Messages saved: ", Match::Prefix, Ok, MessageTopic::None, Nobody },
    { "消息无法保存: ", "Messages could not be saved: ", Match::Prefix, Err, MessageTopic::None, Nobody },
    { "设置无法保存: ", "Settings could not be saved: ", Match::Prefix, Err, MessageTopic::None, Nobody },
    { "无法打开固件文件", "Cannot open firmware file", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "无法读取固件文件", "Cannot read firmware file", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "固件文件过大", "Firmware file too large", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "固件文件为空", "Firmware file is empty", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "升级正在进行中，请等待", "Upgrade in progress, please wait", Match::Exact, Err, MessageTopic::None, Upgrade },
    { "升级已中止：串口已关闭", "Upgrade aborted: serial port closed", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "固件大小超限，升级中止", "Firmware size exceeded, upgrade aborted", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "升级校验失败: ", "Upgrade verification failed: ", Match::Prefix, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "升级超时，已中止", "Upgrade timed out, aborted", Match::Exact, Err, MessageTopic::UpgradeFailed, Upgrade },
    { "升级无应答，重发 ", "No upgrade reply, resending ", Match::Prefix, Err, MessageTopic::None, Upgrade },
    { "升级数据包序号不匹配，重发包 ", "Upgrade seq mismatch, resending packet ", Match::Prefix, Err, MessageTopic::None, Upgrade },
    { "收到未知v1云台应答", "Unknown v1 gimbal reply", Match::Prefix, Err, MessageTopic::None, Nobody },
    { "收到未知v1通用应答", "Unknown v1 general reply", Match::Prefix, Err, MessageTopic::None, Nobody },
} };

bool matches(const QString &text, const QString &known, Match match)
{
    switch (match) {
    case Match::Exact:
        return text == known;
    case Match::Prefix:
        return text.startsWith(known);
    case Match::Suffix:
        return text.endsWith(known);
    }
    return false;
}
}

MessageClass classifyMessage(const QString &text)
{
    for (const KnownText &known : KNOWN_TEXTS) {
        if (matches(text, QString::fromUtf8(known.zh), known.match)
            || matches(text, QString::fromUtf8(known.en), known.match))
            return { known.kind, known.topic, known.producers };
    }
    return {};
}
