#include "cli/CalibrateCommand.h"

#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "device/CommandNames.h"
#include "device/ServiceCommands.h"
#include "device/SubCommands.h"

#include <functional>
#include <optional>
#include <vector>

namespace {
// tavoxSendCalibration's argument, as the window's calibration panel passes it.
const int HallCalibrationType = 1;
const int AccelCalibrationType = 2;
const int ZeroCalibrationType = 5;

const int AccelFaces = 6;
const int AccelSucceeded = 8;

struct Calibration
{
    QString kind;
    std::function<void(AppBridge &)> send;
    quint8 answeredBy; // the sub-command of the reply that answers it
};

const std::vector<Calibration> &calibrations()
{
    static const std::vector<Calibration> all = {
        {QStringLiteral("accel"), [](AppBridge &bridge) { bridge.tavoxSendCalibration(AccelCalibrationType); },
         *calibrationSubCommand(AccelCalibrationType)},
        {QStringLiteral("gyro"), [](AppBridge &bridge) { bridge.tavoxSendGyroBiasUpdate(); }, SubCommand::GyroBiasUpdate},
        {QStringLiteral("hall"), [](AppBridge &bridge) { bridge.tavoxSendCalibration(HallCalibrationType); },
         *calibrationSubCommand(HallCalibrationType)},
        {QStringLiteral("linear"), [](AppBridge &bridge) { bridge.tavoxSendLinearCalib(); }, SubCommand::LinearCalib},
        {QStringLiteral("zero"), [](AppBridge &bridge) { bridge.tavoxSendCalibration(ZeroCalibrationType); },
         *calibrationSubCommand(ZeroCalibrationType)},
    };
    return all;
}

const Calibration *findCalibration(const QString &kind)
{
    for (const Calibration &calibration : calibrations()) {
        if (calibration.kind == kind)
            return &calibration;
    }
    return nullptr;
}

TextPair calibrationName(const Calibration &calibration)
{
    return commandName(calibration.answeredBy);
}

// Sent once: a second request would start the calibration over.
int runAcknowledged(DeviceSession &session, const Calibration &calibration)
{
    const CliOutput &out = session.out();
    const int before = session.commandReplies(calibration.answeredBy);
    calibration.send(session.bridge());
    const DeviceSession::Wait wait = session.waitUntil(
        [&] { return session.commandReplies(calibration.answeredBy) > before; }, session.replyTimeoutMs());
    if (wait != DeviceSession::Wait::Done)
        return session.failure(wait, out.text(calibrationName(calibration)));
    const TextPair name = calibrationName(calibration);
    out.note(out.text(commandSucceededText(name)));
    return ExitCode::Success;
}

// The controller reports each face it waits for, then the calculation, then
// the result; the operator turns the gimbal as each face is named.
class AccelCalibration
{
public:
    AccelCalibration(DeviceSession &session, const Calibration &calibration)
        : m_session(session), m_out(session.out()), m_calibration(calibration)
    {
        QObject::connect(&session.bridge(), &AppBridge::accelCaliStateChanged, &session,
                         [this] { onState(m_session.bridge().accelCaliState()); });
    }

    int run()
    {
        m_calibration.send(m_session.bridge());
        for (int seen = 0; !m_finalState;) {
            const DeviceSession::Wait wait = m_session.waitUntil([&] { return m_states > seen; },
                                                                 m_session.replyTimeoutMs());
            if (wait != DeviceSession::Wait::Done)
                return m_session.failure(wait, m_out.text(calibrationName(m_calibration)));
            seen = m_states;
        }
        if (*m_finalState == AccelSucceeded)
            return ExitCode::Success;
        m_out.error(m_out.text(QStringLiteral("控制器报告了未知的加速度计校准状态 %1，校准未成功"),
                               QStringLiteral("the controller reported accelerometer calibration state %1, "
                                              "which is no step of the calibration; it did not succeed"))
                        .arg(*m_finalState));
        return ExitCode::ControllerRefused;
    }

private:
    void onState(int state)
    {
        if (m_finalState)
            return;
        ++m_states;
        if (state < 1 || state > AccelSucceeded) {
            m_finalState = state;
            return;
        }
        const QString text = m_out.text(accelCaliText(state));
        if (state <= AccelFaces)
            m_out.note(m_out.text(QStringLiteral("第 %1/%2 面: "), QStringLiteral("face %1 of %2: "))
                           .arg(state).arg(AccelFaces) + text);
        else
            m_out.note(text);
        if (state == AccelSucceeded)
            m_finalState = state;
    }

    DeviceSession &m_session;
    const CliOutput &m_out;
    const Calibration &m_calibration;
    int m_states = 0;
    std::optional<int> m_finalState;
};
}

QStringList calibrationKinds()
{
    QStringList kinds;
    for (const Calibration &calibration : calibrations())
        kinds.append(calibration.kind);
    return kinds;
}

int runCalibrate(DeviceSession &session, const QString &port, int baud, const QString &kind)
{
    const Calibration *calibration = findCalibration(kind);
    if (!calibration)
        return ExitCode::Usage;
    const int opened = session.open(port, baud);
    if (opened != ExitCode::Success)
        return opened;
    if (calibration->answeredBy == SubCommand::AccelCalib)
        return AccelCalibration(session, *calibration).run();
    return runAcknowledged(session, *calibration);
}
