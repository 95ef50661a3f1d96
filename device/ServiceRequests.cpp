#include "device/ServiceRequests.h"

#include "device/CommandNames.h"
#include "device/CommandPacking.h"
#include "device/ServiceCommands.h"
#include "device/SubCommands.h"

ServiceRequests::ServiceRequests(DeviceLink &link, MessageSink &messages)
    : m_link(link)
    , m_messages(messages)
{
}

void ServiceRequests::send(std::optional<quint8> subCommand, const TextPair &sent)
{
    if (!m_link.require() || !subCommand)
        return;
    if (m_link.send(plainCommand(*subCommand).toFrame()) && !sent.isNull())
        m_messages.report({ sent, {} });
}

// The controller's reply is its only answer; nothing is reported on sending,
// except a restart, whose silence the window is to expect.
void ServiceRequests::sendCalibration(int cmdType)
{
    const std::optional<quint8> subCommand = calibrationSubCommand(cmdType);
    if (subCommand != SubCommand::Reboot) {
        send(subCommand, {});
        return;
    }
    if (m_link.require() && m_link.send(plainCommand(*subCommand).toFrame()))
        m_messages.report(Message::info(QStringLiteral("重启指令已发送，控制器正在重启..."),
                                        QStringLiteral("Restart sent, the controller is restarting..."), MessageTopic::RestartSent));
}

void ServiceRequests::sendMotorTorque(int motor, int direction)
{
    const TextPair frame = motorFrameName(motor);
    const TextPair action = motorTorqueAction(direction);
    send(motorTorqueSubCommand(motor, direction),
         { QStringLiteral("电机控制: ") + frame.zh + QLatin1Char(' ') + action.zh,
           QStringLiteral("Motor: ") + frame.en + QLatin1Char(' ') + action.en });
}

void ServiceRequests::sendMotorHallCalib(int motor)
{
    send(motorHallCalibSubCommand(motor),
         { QStringLiteral("单电机霍尔校准指令已发送"), QStringLiteral("Motor hall calibration sent") });
}

void ServiceRequests::sendElecAngleCalib(int motor, bool start)
{
    send(elecAngleCalibSubCommand(motor, start),
         start ? TextPair { QStringLiteral("电角度校准开始"), QStringLiteral("Elec angle calib start") }
               : TextPair { QStringLiteral("电角度校准结束"), QStringLiteral("Elec angle calib end") });
}

void ServiceRequests::sendHallDataSelect(bool useUser)
{
    send(hallDataSubCommand(useUser),
         useUser ? TextPair { QStringLiteral("已切换为用户校准霍尔数据"), QStringLiteral("Switched to user hall data") }
                 : TextPair { QStringLiteral("已切换为默认霍尔数据"), QStringLiteral("Switched to default hall data") });
}

void ServiceRequests::sendLinearCalib()
{
    send(SubCommand::LinearCalib,
         { QStringLiteral("电机线性化校准已发送"), QStringLiteral("Motor linearization calibration sent") });
}

void ServiceRequests::sendGyroBiasUpdate()
{
    send(SubCommand::GyroBiasUpdate, { QStringLiteral("陀螺仪偏置更新指令已发送"), QStringLiteral("Gyro bias update sent") });
}
