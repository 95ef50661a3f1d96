#include "cli/UpgradeCommand.h"

#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "cli/UpgradeProgress.h"
#include "device/FirmwareImage.h"

#include <optional>

namespace {
const int RebootFrameTimeoutMs = 2000;

TextPair imageProblem(FirmwareImageError error)
{
    switch (error) {
    case FirmwareImageError::None:
        break;
    case FirmwareImageError::CannotOpen:
        return {QStringLiteral("无法打开固件文件"), QStringLiteral("cannot open the firmware file")};
    case FirmwareImageError::CannotRead:
        return {QStringLiteral("无法读取固件文件"), QStringLiteral("cannot read the firmware file")};
    case FirmwareImageError::TooLarge:
        return {QStringLiteral("固件文件过大"), QStringLiteral("the firmware file is too large")};
    case FirmwareImageError::Empty:
        return {QStringLiteral("固件文件为空"), QStringLiteral("the firmware file is empty")};
    }
    return {};
}

class Upgrade
{
public:
    Upgrade(DeviceSession &session, qint64 imageSize)
        : m_session(session), m_out(session.out()),
          m_progress(session.out(), imageSize, CliOutput::stderrIsTerminal())
    {
        AppBridge &bridge = session.bridge();
        const UpgradeDriver &driver = bridge.upgradeDriver();
        QObject::connect(&driver, &UpgradeDriver::ended, &session,
                         [this](UpgradeSession::Outcome outcome) { m_outcome = outcome; });
        QObject::connect(&driver, &UpgradeDriver::message, &session,
                         [this](const QString &zh, const QString &en) { m_lastMessage = {zh, en}; });
        QObject::connect(&bridge, &AppBridge::tavoxUpgradeProgressChanged, &session, [this, &driver, imageSize] {
            const qint64 sent = qMin<qint64>(qint64(driver.session().packetIndex()) * UpgradeSession::PacketSize, imageSize);
            m_progress.update(m_session.bridge().tavoxUpgradeProgress(), sent);
        });
    }

    int run(const QString &imagePath)
    {
        m_session.bridge().tavoxStartUpgrade(imagePath);
        if (!m_session.bridge().tavoxUpgrading()) {
            m_out.error(m_out.text(QStringLiteral("升级未能开始"), QStringLiteral("the upgrade did not start")));
            return ExitCode::Usage;
        }
        const DeviceSession::Wait wait = m_session.waitUntil([this] { return m_outcome.has_value(); }, -1);
        if (wait == DeviceSession::Wait::Interrupted)
            return interrupted();
        m_progress.finish();
        return m_outcome ? outcomeCode(*m_outcome) : m_session.failure(wait, QString());
    }

private:
    // Closing the port ends the upgrade the way the window's Close does; the
    // controller, erased and not restarted, waits in its bootloader.
    int interrupted()
    {
        m_session.bridge().closeSerial();
        m_progress.finish();
        m_out.error(m_out.text(QStringLiteral("升级已中断。控制器停留在引导程序中，没有可用的固件: 请再次运行升级。"),
                               QStringLiteral("upgrade interrupted. The controller stays in its bootloader without a "
                                              "usable firmware: run the upgrade again to finish it.")));
        return ExitCode::Interrupted;
    }

    int outcomeCode(UpgradeSession::Outcome outcome)
    {
        switch (outcome) {
        case UpgradeSession::Outcome::Completed:
            if (!m_session.bridge().waitForFramesWritten(RebootFrameTimeoutMs)) {
                m_out.error(m_out.text(QStringLiteral("重启指令未能发出"), QStringLiteral("the reboot command could not be sent")));
                return ExitCode::PortFailure;
            }
            m_out.note(m_out.text(QStringLiteral("升级完成，控制器正在重启"), QStringLiteral("Upgrade completed; the controller restarts")));
            return ExitCode::Success;
        case UpgradeSession::Outcome::SizeRefused:
            m_out.error(m_out.text(m_lastMessage));
            return ExitCode::ControllerRefused;
        case UpgradeSession::Outcome::VerificationFailed:
            m_out.error(m_out.text(m_lastMessage));
            return ExitCode::VerificationFailed;
        case UpgradeSession::Outcome::TimedOut:
            m_out.error(m_out.text(m_lastMessage));
            return ExitCode::NoReply;
        case UpgradeSession::Outcome::LinkClosed:
            m_out.error(m_out.text(m_lastMessage));
            return ExitCode::PortFailure;
        }
        return ExitCode::PortFailure;
    }

    DeviceSession &m_session;
    const CliOutput &m_out;
    UpgradeProgress m_progress;
    std::optional<UpgradeSession::Outcome> m_outcome;
    TextPair m_lastMessage;
};
}

int runUpgrade(DeviceSession &session, const QString &port, int baud, const QString &imagePath)
{
    QByteArray image;
    const FirmwareImageError error = readFirmwareImage(imagePath, UpgradeSession::MaxImageSize, image);
    if (error != FirmwareImageError::None) {
        session.out().error(session.out().text(imageProblem(error)) + QStringLiteral(": ") + imagePath);
        return ExitCode::Usage;
    }
    const int opened = session.open(port, baud);
    if (opened != ExitCode::Success)
        return opened;
    // The bridge's first read and version query go out before the upgrade
    // starts; a controller waiting in its bootloader need not answer them.
    const DeviceSession::Wait settled = session.waitForFollowUps();
    if (settled != DeviceSession::Wait::Done)
        return session.failure(settled, QString());
    return Upgrade(session, image.size()).run(imagePath);
}
