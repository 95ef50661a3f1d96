#include "cli/UpgradeCommand.h"

#include "app/StandardLocations.h"
#include "service/ParamWrites.h"
#include "cli/DeviceSession.h"
#include "cli/ExitCode.h"
#include "cli/UpgradeProgress.h"
#include "device/FirmwareImage.h"
#include "device/ParamSnapshots.h"

#include <QDateTime>
#include <QDir>

#include <optional>

namespace {
const int RebootFrameTimeoutMs = 2000;
// How long the upgraded controller is asked for its parameters, once a second,
// when the reply timeout is shorter: it first has to start its new firmware.
const qint64 RestartedControllerWaitMs = 10000;

// The file about to be flashed, in full, so that it can be told from a similar one.
void describeImage(const CliOutput &out, const QString &imagePath, const FirmwareImageSummary &image)
{
    const QString modified = image.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString sha256 = QString::fromLatin1(image.sha256Hex);
    out.note(out.text(QStringLiteral("固件 %1: %2 字节，修改于 %3，SHA-256 %4"),
                      QStringLiteral("Firmware %1: %2 bytes, modified %3, SHA-256 %4"))
                 .arg(imagePath).arg(image.size).arg(modified, sha256));
}

class Upgrade
{
public:
    Upgrade(DeviceSession &session, const QStringList &portOptions, qint64 imageSize)
        : m_session(session), m_out(session.out()), m_portOptions(portOptions),
          m_progress(session.out(), imageSize, CliOutput::stderrIsTerminal())
    {
        AppBridge &bridge = session.bridge();
        const UpgradeDriver &driver = bridge.upgrade().driver();
        QObject::connect(&driver, &UpgradeDriver::ended, &session,
                         [this](UpgradeSession::Outcome outcome) { m_outcome = outcome; });
        QObject::connect(&driver, &UpgradeDriver::message, &session,
                         [this](const Message &message) { noteMessage(message); });
        QObject::connect(&bridge, &AppBridge::tavoxUpgradeProgressChanged, &session, [this, &driver, imageSize] {
            const qint64 sent = qMin<qint64>(qint64(driver.session().packetIndex()) * UpgradeSession::PacketSize, imageSize);
            m_progress.update(m_session.bridge().tavoxUpgradeProgress(), sent);
        });
    }

    int run(const QString &imagePath)
    {
        takeSnapshot();
        m_session.bridge().tavoxStartUpgrade(imagePath);
        if (!m_session.bridge().tavoxUpgrading()) {
            m_out.error(m_out.text(QStringLiteral("升级未能开始"), QStringLiteral("the upgrade did not start")));
            return ExitCode::Usage;
        }
        const DeviceSession::Wait wait = m_session.waitUntil([this] { return m_outcome.has_value(); }, -1);
        if (wait == DeviceSession::Wait::Interrupted)
            return interrupted();
        m_progress.finish();
        if (!m_outcome)
            return m_session.failure(wait, QString());
        const int code = outcomeCode(*m_outcome);
        return code == ExitCode::Success && !m_snapshotPath.isEmpty() ? compareWithSnapshot() : code;
    }

private:
    // As the window does: an upgrade can reset the controller's tuning, so the
    // block read on this link is kept before the upgrade starts.
    void takeSnapshot()
    {
        AppBridge &bridge = m_session.bridge();
        if (bridge.parameters().blocksReceived() == 0) {
            m_out.note(m_out.text(QStringLiteral("未从控制器读到参数块 (在引导程序中等待的控制器不回答读取): 未保存升级前的参数"),
                                  QStringLiteral("No parameter block was read from the controller (one waiting in its "
                                                 "bootloader answers no read): no snapshot of its parameters was taken")));
            return;
        }
        m_snapshot = paramFileContentsOf(bridge);
        const ParamSnapshots snapshots(QDir(dataDirectory()).filePath(QStringLiteral("snapshots")));
        QString error;
        m_snapshotPath = snapshots.save(m_snapshot, QDateTime::currentDateTime(), error);
        if (m_snapshotPath.isEmpty())
            m_out.error(m_out.text(QStringLiteral("无法保存升级前的参数: %1; 升级继续"),
                                   QStringLiteral("could not save the parameters before the upgrade: %1; the upgrade goes on"))
                            .arg(error));
        else
            m_out.note(m_out.text(snapshotSavedText(m_snapshotPath)));
    }

    // The upgrade itself succeeded, whatever this finds: it exits 0 unless interrupted.
    int compareWithSnapshot()
    {
        AppBridge &bridge = m_session.bridge();
        const int before = bridge.parameters().blocksReceived();
        const DeviceSession::Wait wait = m_session.request([&bridge] { bridge.tavoxReadParams(); },
                                                           [&bridge, before] { return bridge.parameters().blocksReceived() > before; },
                                                           qMax(m_session.replyTimeoutMs(), RestartedControllerWaitMs));
        if (wait != DeviceSession::Wait::Done)
            return notCompared(wait);
        const ParamBlock &now = bridge.parameters().block();
        if (paramBlockFormOf(now) == m_snapshot.form
            && ParamFile::differences(now, m_snapshot.block, m_snapshot.form).isEmpty()) {
            m_out.note(m_out.text(QStringLiteral("升级后的参数与升级前相同"), QStringLiteral("The parameters are the same as before the upgrade")));
            return ExitCode::Success;
        }
        m_out.note(m_out.text(QStringLiteral("升级改变了参数。恢复升级前的参数:\n  %1"),
                              QStringLiteral("The upgrade changed the parameters. To restore those from before it:\n  %1"))
                       .arg(snapshotCommand(QStringLiteral("load"))));
        return ExitCode::Success;
    }

    int notCompared(DeviceSession::Wait wait)
    {
        m_out.error(m_out.text(whyNotCompared(wait)));
        m_out.note(m_out.text(QStringLiteral("升级前后的参数未比较。比较:\n  %1"),
                              QStringLiteral("The parameters were not compared with those from before the upgrade. "
                                             "To compare them:\n  %1"))
                       .arg(snapshotCommand(QStringLiteral("diff"))));
        return wait == DeviceSession::Wait::Interrupted ? ExitCode::Interrupted : ExitCode::Success;
    }

    static TextPair whyNotCompared(DeviceSession::Wait wait)
    {
        switch (wait) {
        case DeviceSession::Wait::Interrupted:
            return {QStringLiteral("升级完成后被中断"), QStringLiteral("interrupted after the upgrade completed")};
        case DeviceSession::Wait::PortLost:
            return {QStringLiteral("升级完成后串口已断开"), QStringLiteral("the serial port was lost after the upgrade completed")};
        default:
            return {QStringLiteral("升级后的控制器没有回复参数读取"),
                    QStringLiteral("the upgraded controller did not answer a parameter read")};
        }
    }

    // `tavoxctl -p PORT -b BAUD params VERB SNAPSHOT`, to copy into a shell.
    QString snapshotCommand(const QString &verb) const
    {
        return CliOutput::commandLine(QStringList{QStringLiteral("tavoxctl")} + m_portOptions
                                      + QStringList{QStringLiteral("params"), verb, m_snapshotPath});
    }

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
            if (!m_session.bridge().serialLink().waitForFramesWritten(RebootFrameTimeoutMs)) {
                m_out.error(m_out.text(QStringLiteral("重启指令未能发出"), QStringLiteral("the reboot command could not be sent")));
                return ExitCode::PortFailure;
            }
            m_out.note(m_out.text(QStringLiteral("升级完成，控制器正在重启"), QStringLiteral("Upgrade completed; the controller restarts")));
            return ExitCode::Success;
        case UpgradeSession::Outcome::SizeRefused:
            m_out.error(m_out.text(m_reason));
            return ExitCode::ControllerRefused;
        case UpgradeSession::Outcome::VerificationFailed:
            m_out.error(m_out.text(m_reason));
            return ExitCode::VerificationFailed;
        case UpgradeSession::Outcome::TimedOut:
            m_out.error(m_out.text(m_reason));
            return ExitCode::NoReply;
        case UpgradeSession::Outcome::LinkClosed:
        case UpgradeSession::Outcome::LinkLost:
        case UpgradeSession::Outcome::Cancelled:
            m_out.error(m_out.text(m_reason));
            if (!m_adviceAfterIt.zh.isEmpty())
                m_out.error(m_out.text(m_adviceAfterIt));
            return ExitCode::PortFailure;
        }
        return ExitCode::PortFailure;
    }

    DeviceSession &m_session;
    const CliOutput &m_out;
    const QStringList m_portOptions;
    UpgradeProgress m_progress;
    ParamFile::Contents m_snapshot;
    QString m_snapshotPath;
    std::optional<UpgradeSession::Outcome> m_outcome;
    // A failed upgrade gives its reason as an error; a lost port's is followed by advice.
    void noteMessage(const Message &message)
    {
        if (message.meaning.kind == MessageKind::Error) {
            m_reason = message.text;
            m_adviceAfterIt = {};
        } else {
            m_adviceAfterIt = message.text;
        }
    }

    TextPair m_reason;
    TextPair m_adviceAfterIt;
};
}

int runUpgrade(DeviceSession &session, const QString &port, int baud, const QString &imagePath)
{
    const FirmwareImageSummary image = inspectFirmwareImage(imagePath, UpgradeSession::MaxImageSize);
    if (image.error != FirmwareImageError::None) {
        session.out().error(session.out().text(firmwareImageProblem(image.error)) + QStringLiteral(": ") + imagePath);
        return ExitCode::Usage;
    }
    describeImage(session.out(), imagePath, image);
    const int opened = session.open(port, baud);
    if (opened != ExitCode::Success)
        return opened;
    // The bridge's first read and version query go out before the upgrade
    // starts; a controller waiting in its bootloader need not answer them.
    const DeviceSession::Wait settled = session.settleFirstExchange();
    if (settled != DeviceSession::Wait::Done)
        return session.failure(settled, QString());
    const QStringList portOptions{QStringLiteral("-p"), port, QStringLiteral("-b"), QString::number(baud)};
    return Upgrade(session, portOptions, image.size).run(imagePath);
}
