#include "cli/MonitorCommand.h"

#include "bridge/LinkHealth.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "service/AutoReconnect.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const int ReportIntervalMs = 1000;

double rounded(double value, int decimals)
{
    const double scale = decimals == 1 ? 10.0 : 100.0;
    return qRound64(value * scale) / scale;
}

QJsonObject heartbeatJson(const AppBridge &b)
{
    QJsonObject receivers {
        {"sbus", QJsonObject {{"pitch", b.hbSbusPitchValue()}, {"roll", b.hbSbusRollValue()}, {"yaw", b.hbSbusYawValue()},
                              {"center", b.hbSbusCenterValue()}, {"lock", b.hbSbusLockValue()}}},
        {"pwm", QJsonObject {{"pitch", b.hbPwmPitchValue()}, {"yaw", b.hbPwmYawValue()}, {"center", b.hbPwmCenterValue()}}},
    };
    if (b.hbCrsfValuePresent())
        receivers.insert("crsf", QJsonObject {{"pitch", b.hbCrsfPitchValue()}, {"roll", b.hbCrsfRollValue()},
                                              {"yaw", b.hbCrsfYawValue()}, {"center", b.hbCrsfCenterValue()},
                                              {"lock", b.hbCrsfLockValue()}});
    return {
        {"attitude", QJsonObject {{"pitch", b.hbPitch()}, {"roll", b.hbRoll()}, {"yaw", b.hbYaw()}}},
        {"joints", QJsonObject {{"outer", b.hbJointOutterAngle()}, {"middle", b.hbJointMiddleAngle()},
                                {"inner", b.hbJointInnerAngle()}}},
        {"imuTemperature", b.hbImuTemp()},
        {"status", QJsonObject {{"attitudeReady", b.hbAttiReady()}, {"jointInitOk", b.hbJointInitOk()},
                                {"underVoltage", b.hbUnderVolt()}, {"imuLost", b.hbMemsLost()},
                                {"actuator", b.hbActuator()}, {"softLimit", b.hbSoftLimit()},
                                {"controlMode", b.hbCtrlMode()}, {"stateMachine", b.hbStateMachine()}}},
        {"receivers", receivers},
    };
}

QJsonObject linkJson(const LinkFigures &link)
{
    return {
        {"framesPerSecond", rounded(link.framesPerSecond, 1)},
        {"bytesPerSecond", rounded(link.bytesPerSecond, 1)},
        {"frames", double(link.total.frames)},
        {"bytes", double(link.total.bytesReceived)},
        {"headerSumFailures", double(link.total.headerSumFailures)},
        {"crcFailures", double(link.total.crcFailures)},
        {"resyncBytes", double(link.total.resyncBytes)},
        {"sinceHeartbeatMs", double(link.sinceHeartbeatMs)},
    };
}

QString angle(double degrees)
{
    return QString::number(degrees, 'f', 2).rightJustified(7);
}

QString channels(std::initializer_list<int> values)
{
    QStringList texts;
    for (int value : values)
        texts.append(QString::number(value));
    return texts.join(QLatin1Char(' '));
}

QString actuatorText(const CliOutput &out, int actuator)
{
    if (actuator == 0)
        return out.text(QStringLiteral("电机正常"), QStringLiteral("motors normal"));
    if (actuator == 1)
        return out.text(QStringLiteral("电机堵转"), QStringLiteral("motors stalled"));
    return out.text(QStringLiteral("电机关闭"), QStringLiteral("motors off"));
}

QString statusText(const CliOutput &out, const AppBridge &b)
{
    QStringList flags;
    flags.append(b.hbAttiReady() ? out.text(QStringLiteral("姿态就绪"), QStringLiteral("attitude ready"))
                                 : out.text(QStringLiteral("姿态未就绪"), QStringLiteral("attitude not ready")));
    flags.append(b.hbJointInitOk() ? out.text(QStringLiteral("关节已初始化"), QStringLiteral("joints initialised"))
                                   : out.text(QStringLiteral("关节未初始化"), QStringLiteral("joints not initialised")));
    if (b.hbUnderVolt())
        flags.append(out.text(QStringLiteral("欠压"), QStringLiteral("UNDER-VOLTAGE")));
    if (b.hbMemsLost())
        flags.append(out.text(QStringLiteral("IMU 丢失"), QStringLiteral("IMU LOST")));
    if (b.hbSoftLimit())
        flags.append(out.text(QStringLiteral("软限位"), QStringLiteral("soft limit")));
    flags.append(actuatorText(out, b.hbActuator()));
    flags.append(out.text(QStringLiteral("控制模式 %1"), QStringLiteral("control mode %1")).arg(b.hbCtrlMode()));
    flags.append(out.text(QStringLiteral("状态机 %1"), QStringLiteral("state %1")).arg(b.hbStateMachine()));
    return flags.join(QStringLiteral(", "));
}

QString heartbeatText(const CliOutput &out, const AppBridge &b)
{
    QString receivers = QStringLiteral("SBUS %1   PWM %2")
                            .arg(channels({b.hbSbusPitchValue(), b.hbSbusRollValue(), b.hbSbusYawValue(),
                                           b.hbSbusCenterValue(), b.hbSbusLockValue()}),
                                 channels({b.hbPwmPitchValue(), b.hbPwmYawValue(), b.hbPwmCenterValue()}));
    if (b.hbCrsfValuePresent())
        receivers += QStringLiteral("   CRSF ") + channels({b.hbCrsfPitchValue(), b.hbCrsfRollValue(), b.hbCrsfYawValue(),
                                                          b.hbCrsfCenterValue(), b.hbCrsfLockValue()});
    return out.text(QStringLiteral("俯仰 %1  横滚 %2  航向 %3   关节 %4 %5 %6   IMU %7 °C\n  %8\n  接收机 %9"),
                    QStringLiteral("pitch %1  roll %2  yaw %3   joints %4 %5 %6   IMU %7 °C\n  %8\n  receivers %9"))
        .arg(angle(b.hbPitch()), angle(b.hbRoll()), angle(b.hbYaw()), angle(b.hbJointOutterAngle()),
             angle(b.hbJointMiddleAngle()), angle(b.hbJointInnerAngle()), QString::number(b.hbImuTemp()),
             statusText(out, b), receivers);
}

QString linkText(const CliOutput &out, const LinkFigures &link)
{
    return out.text(QStringLiteral("  链路 %1 帧/秒  %2 字节/秒  头校验错误 %3  CRC 错误 %4  重新同步丢弃 %5 字节  "
                                   "距上次心跳 %6 ms"),
                    QStringLiteral("  link %1 frames/s  %2 bytes/s  header-sum failures %3  CRC failures %4  "
                                   "resync %5 bytes dropped  last heartbeat %6 ms ago"))
        .arg(QString::number(link.framesPerSecond, 'f', 1), QString::number(link.bytesPerSecond, 'f', 0))
        .arg(link.total.headerSumFailures)
        .arg(link.total.crcFailures)
        .arg(link.total.resyncBytes)
        .arg(link.sinceHeartbeatMs);
}

class Monitor
{
public:
    Monitor(DeviceSession &session, bool json, bool reconnect)
        : m_session(session), m_out(session.out()), m_json(json), m_health(session.bridge(), false),
          m_reconnect(session.bridge())
    {
        m_reconnect.setEnabled(reconnect);
    }

    // A port lost and back again starts over from its first heartbeat; the
    // reports printed before count towards `seconds`.
    int run(int seconds)
    {
        int code = ExitCode::Success;
        do {
            m_portBack = false;
            code = waitForFirstHeartbeat();
            if (code == ExitCode::Success)
                code = report(seconds);
        } while (m_portBack);
        return code;
    }

private:
    int report(int seconds)
    {
        QElapsedTimer clock;
        clock.start();
        m_health.sample();
        for (qint64 due = 1; seconds == 0 || m_reports < seconds; ++due) {
            const qint64 waitMs = qMax<qint64>(0, due * ReportIntervalMs - clock.elapsed());
            const DeviceSession::Wait wait = m_session.waitUntil([] { return false; }, waitMs);
            if (wait != DeviceSession::Wait::TimedOut)
                return ended(wait);
            if (!print(m_health.sample()))
                return outputEnded();
            ++m_reports;
            if (m_health.msSinceHeartbeat() > m_session.replyTimeoutMs())
                return heartbeatsStopped();
        }
        return ExitCode::Success;
    }

    int waitForFirstHeartbeat()
    {
        const DeviceSession::Wait wait = m_session.waitUntil([this] { return m_session.bridge().hbReceived(); },
                                                             m_session.replyTimeoutMs());
        if (wait == DeviceSession::Wait::TimedOut)
            return m_session.failure(wait, m_out.text(QStringLiteral("心跳"), QStringLiteral("a heartbeat")));
        return wait == DeviceSession::Wait::Done ? ExitCode::Success : ended(wait);
    }

    // Ctrl-C is how a monitor without --seconds is meant to end. A lost port
    // is waited for while reconnection is on; once back, m_portBack says so.
    int ended(DeviceSession::Wait wait)
    {
        if (wait == DeviceSession::Wait::PortLost && m_reconnect.waiting())
            wait = waitForPortBack();
        m_portBack = wait == DeviceSession::Wait::Done;
        return m_portBack || wait == DeviceSession::Wait::Interrupted ? ExitCode::Success
                                                                      : m_session.failure(wait, QString());
    }

    DeviceSession::Wait waitForPortBack()
    {
        const QString port = m_reconnect.portName();
        m_out.note(m_out.text(QStringLiteral("串口 %1 已断开，等待它重新连接…").arg(port),
                              QStringLiteral("port %1 lost; waiting for it to come back…").arg(port)));
        const DeviceSession::Wait wait = m_session.waitForReopen();
        if (wait == DeviceSession::Wait::Done)
            m_out.note(m_out.text(QStringLiteral("已重新连接: %1").arg(port), QStringLiteral("reconnected: %1").arg(port)));
        return wait;
    }

    // A reader that has gone (`monitor | head`) ends the monitor as Ctrl-C
    // does; any other failure of standard output is reported where the program ends.
    int outputEnded() const
    {
        return m_out.dataReaderGone() ? ExitCode::Success : ExitCode::Usage;
    }

    int heartbeatsStopped()
    {
        m_out.error(m_out.text(QStringLiteral("控制器已 %1 ms 没有发送心跳"),
                               QStringLiteral("no heartbeat from the controller for %1 ms"))
                        .arg(m_health.msSinceHeartbeat()));
        return ExitCode::NoReply;
    }

    bool print(const LinkFigures &link) const
    {
        const AppBridge &bridge = m_session.bridge();
        if (!m_json)
            return m_out.data(heartbeatText(m_out, bridge) + QLatin1Char('\n') + linkText(m_out, link));
        QJsonObject line = heartbeatJson(bridge);
        line.insert("link", linkJson(link));
        return m_out.data(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
    }

    DeviceSession &m_session;
    const CliOutput &m_out;
    const bool m_json;
    LinkHealth m_health;
    AutoReconnect m_reconnect;
    int m_reports = 0;
    bool m_portBack = false;
};
}

int runMonitor(DeviceSession &session, const QString &port, int baud, int seconds, bool json, bool reconnect)
{
    Monitor monitor(session, json, reconnect);
    const int opened = session.open(port, baud);
    if (opened != ExitCode::Success)
        return opened;
    return monitor.run(seconds);
}
