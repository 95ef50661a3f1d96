#include "window/UpgradeMonitor.h"

#include "bridge/AppBridge.h"
#include "service/LinkReadings.h"

#include <QFileInfo>

namespace {
const int ShownChecksumDigits = 16;
}

UpgradeMonitor::UpgradeMonitor(AppBridge &bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
    const UpgradeDriver &driver = bridge.upgrade().driver();
    connect(&bridge, &AppBridge::tavoxUpgradeFilePathChanged, this, &UpgradeMonitor::onFileChosen);
    connect(&bridge, &AppBridge::languageChanged, this, &UpgradeMonitor::changed);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &UpgradeMonitor::onOpenedChanged);
    connect(&bridge, &AppBridge::tavoxVersionChanged, this, &UpgradeMonitor::onLinkReadings);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &UpgradeMonitor::onLinkReadings);
    connect(&driver, &UpgradeDriver::activeChanged, this, &UpgradeMonitor::onActiveChanged);
    connect(&driver, &UpgradeDriver::progressChanged, this, &UpgradeMonitor::onProgress);
    connect(&driver, &UpgradeDriver::message, this, &UpgradeMonitor::onMessage);
    connect(&driver, &UpgradeDriver::ended, this, &UpgradeMonitor::onEnded);
}

QString UpgradeMonitor::fileName() const
{
    return QFileInfo(m_bridge.tavoxUpgradeFilePath()).fileName();
}

qint64 UpgradeMonitor::fileSize() const
{
    return m_image.error == FirmwareImageError::None ? m_image.size : -1;
}

QString UpgradeMonitor::fileSizeText() const
{
    if (fileSize() < 0)
        return QString();
    return m_bridge.languageSetting().localized(QStringLiteral("%1 字节"), QStringLiteral("%1 bytes")).arg(m_image.size);
}

QString UpgradeMonitor::fileModifiedText() const
{
    return fileSize() < 0 ? QString() : m_image.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString UpgradeMonitor::fileChecksumText() const
{
    if (fileSize() < 0)
        return QString();
    return QStringLiteral("SHA-256 ") + QString::fromLatin1(m_image.sha256Hex.left(ShownChecksumDigits)) + QChar(0x2026);
}

QString UpgradeMonitor::fileProblem() const
{
    if (m_bridge.tavoxUpgradeFilePath().isEmpty() || m_image.error == FirmwareImageError::None)
        return QString();
    const TextPair problem = firmwareImageProblem(m_image.error);
    return m_bridge.languageSetting().localized(problem.zh, problem.en);
}

bool UpgradeMonitor::inspectFile(const QString &filePath)
{
    m_image = inspectFirmwareImage(filePath, UpgradeSession::MaxImageSize);
    emit changed();
    if (m_image.error == FirmwareImageError::None)
        return true;
    const TextPair problem = firmwareImageProblem(m_image.error);
    m_bridge.messages().report(Message::error(problem.zh + QStringLiteral(": ") + filePath,
                                              problem.en + QStringLiteral(": ") + filePath,
                                              MessageTopic::UpgradeFailed, OperatorAction::Upgrade));
    return false;
}

bool UpgradeMonitor::cancellable() const
{
    return m_bridge.upgrade().driver().cancellable();
}

void UpgradeMonitor::cancel()
{
    m_bridge.upgrade().driver().cancel();
}

int UpgradeMonitor::progress() const
{
    return m_progressBelongsToFile ? m_bridge.tavoxUpgradeProgress() : 0;
}

UpgradeMonitor::Phase UpgradeMonitor::phase() const
{
    switch (m_bridge.upgrade().driver().session().state()) {
    case UpgradeSession::State::Idle:
        return Idle;
    case UpgradeSession::State::Erasing:
        return Erasing;
    case UpgradeSession::State::Starting:
    case UpgradeSession::State::Transferring:
        return Writing;
    case UpgradeSession::State::Stopping:
        return Verifying;
    case UpgradeSession::State::Verified:
        return Restarting;
    }
    return Idle;
}

QString UpgradeMonitor::phaseText() const
{
    switch (phase()) {
    case Idle:
        return QString();
    case Erasing:
        return m_bridge.languageSetting().localized(QStringLiteral("正在擦除…"), QStringLiteral("Erasing…"));
    case Writing:
        return m_bridge.languageSetting().localized(QStringLiteral("正在写入 "), QStringLiteral("Writing ")) + transferText();
    case Verifying:
        return m_bridge.languageSetting().localized(QStringLiteral("正在校验…"), QStringLiteral("Verifying…"));
    case Restarting:
        return m_bridge.languageSetting().localized(QStringLiteral("正在重启…"), QStringLiteral("Restarting…"));
    }
    return QString();
}

// Bytes sent of the image, and the time left at the rate of this transfer so far.
QString UpgradeMonitor::transferText() const
{
    const UpgradeSession &session = m_bridge.upgrade().driver().session();
    const qint64 total = session.image().size();
    const qint64 sent = qMin<qint64>(qint64(session.packetIndex()) * UpgradeSession::PacketSize, total);
    QString text = QStringLiteral("%1 / %2 B").arg(sent).arg(total);
    const int packetsThisRun = session.packetIndex() - m_transferStartPacket;
    const qint64 elapsedMs = m_transferClock.isValid() ? m_transferClock.elapsed() : 0;
    if (packetsThisRun <= 0 || elapsedMs <= 0)
        return text;
    const double msPerPacket = double(elapsedMs) / packetsThisRun;
    const int secondsLeft = int((session.packetCount() - session.packetIndex()) * msPerPacket / 1000.0 + 0.5);
    return text + m_bridge.languageSetting().localized(QStringLiteral("，剩余约 %1 秒"), QStringLiteral(", about %1 s left")).arg(secondsLeft);
}

QString UpgradeMonitor::resultText() const
{
    const Language &language = m_bridge.languageSetting();
    switch (m_result) {
    case NoResult:
        return QString();
    case Succeeded:
        // With the port closed the tool no longer follows the restart.
        if (!m_bridge.serialOpened())
            return language.localized(QStringLiteral("升级成功"), QStringLiteral("Upgrade succeeded"));
        if (m_restartAnswered)
            return language.localized(QStringLiteral("升级成功；控制器已重新启动，固件版本 %1"),
                                      QStringLiteral("Upgrade succeeded; the controller restarted with firmware %1"))
                .arg(firmwareReadOnThisLink(m_bridge));
        return language.localized(QStringLiteral("升级成功，控制器正在重启"), QStringLiteral("Upgrade succeeded; the controller is restarting"));
    case Failed:
        return language.localized(m_lastSetback.zh, m_lastSetback.en) + failureAdvice();
    case Cancelled:
        return language.localized(m_lastSetback.zh, m_lastSetback.en);
    }
    return QString();
}

// A port the operator closed is no fault of the cable.
QString UpgradeMonitor::failureAdvice() const
{
    if (m_outcome == UpgradeSession::Outcome::LinkClosed)
        return m_bridge.languageSetting().localized(
            QStringLiteral("。控制器停留在引导程序中，直到一次升级完成：打开串口后请重新运行升级。"),
            QStringLiteral(". The controller waits in its bootloader until an upgrade completes: open the port and run the upgrade again."));
    return m_bridge.languageSetting().localized(QStringLiteral("。请检查连接线，重新打开串口后重试。"),
                                                QStringLiteral(". Check the cable, re-open the port and retry."));
}

QString UpgradeMonitor::currentFirmware() const
{
    const QString firmware = firmwareReadOnThisLink(m_bridge);
    return firmware == QLatin1String("-") ? m_bridge.languageSetting().localized(QStringLiteral("未知"), QStringLiteral("unknown")) : firmware;
}

bool UpgradeMonitor::keepsSnapshot() const
{
    return paramsReadOnThisLink(m_bridge);
}

bool UpgradeMonitor::versionsStale() const
{
    const bool known = m_bridge.tavoxFirmwareVersion() != QLatin1String("-")
        || m_bridge.tavoxBootVersion() != QLatin1String("-");
    return known && !m_bridge.serialLink().session().versionsCurrent();
}

QString UpgradeMonitor::versionsNote() const
{
    if (!versionsStale())
        return QString();
    return m_bridge.languageSetting().localized(QStringLiteral("（上次读取）"), QStringLiteral("(last seen)"));
}

QString UpgradeMonitor::versionsStaleHint() const
{
    if (!versionsStale())
        return QString();
    if (m_bridge.serialOpened())
        return m_bridge.languageSetting().localized(
            QStringLiteral("这是重新打开串口之前读到的版本，可能属于另一个控制器；正在等待当前控制器回复版本查询。"),
            QStringLiteral("Read before the port was opened again, perhaps from another controller; "
                           "waiting for the attached controller to answer the version query."));
    return m_bridge.languageSetting().localized(
        QStringLiteral("这是串口关闭前读到的版本；打开串口后会重新查询。"),
        QStringLiteral("Read before the port closed; the versions are asked again when the port opens."));
}

// The bridge signals its parameters at every write as well: the window hears only of a change in what it shows.
void UpgradeMonitor::onLinkReadings()
{
    const QString firmware = firmwareReadOnThisLink(m_bridge);
    // The versions were forgotten when the upgrade completed: these are the restarted controller's.
    if (m_result == Succeeded && !m_restartAnswered && firmware != QLatin1String("-")) {
        m_restartAnswered = true;
        emit changed();
    }
    const bool keeps = keepsSnapshot();
    const bool stale = versionsStale();
    if (firmware == m_shownFirmware && keeps == m_shownKeepsSnapshot && stale == m_shownVersionsStale)
        return;
    m_shownFirmware = firmware;
    m_shownKeepsSnapshot = keeps;
    m_shownVersionsStale = stale;
    emit changed();
}

// An upgrade's result and progress belong to the link it ran on: a new open,
// by hand or by reconnection, may be another controller, and a closed port
// no longer follows a restart.
void UpgradeMonitor::onOpenedChanged()
{
    if (m_bridge.serialOpened() && !m_bridge.upgrade().driver().active()) {
        m_result = NoResult;
        m_progressBelongsToFile = false;
    }
    m_shownVersionsStale = versionsStale();
    emit changed();
}

void UpgradeMonitor::onFileChosen()
{
    m_image = inspectFirmwareImage(m_bridge.tavoxUpgradeFilePath(), UpgradeSession::MaxImageSize);
    m_progressBelongsToFile = false;
    m_result = NoResult;
    emit changed();
}

void UpgradeMonitor::onActiveChanged()
{
    if (m_bridge.upgrade().driver().active()) {
        m_progressBelongsToFile = true;
        m_result = NoResult;
        m_transferClock.invalidate();
    }
    emit changed();
}

void UpgradeMonitor::onEnded(UpgradeSession::Outcome outcome)
{
    m_outcome = outcome;
    m_restartAnswered = false;
    m_result = outcome == UpgradeSession::Outcome::Completed ? Succeeded
             : outcome == UpgradeSession::Outcome::Cancelled ? Cancelled : Failed;
    emit changed();
}

// Many times a second during a transfer: the window hears of it only when what it shows changes.
void UpgradeMonitor::onProgress()
{
    const UpgradeSession &session = m_bridge.upgrade().driver().session();
    if (session.state() == UpgradeSession::State::Transferring && !m_transferClock.isValid()) {
        m_transferClock.start();
        m_transferStartPacket = session.packetIndex();
    }
    const int shown = progress();
    const Phase currentPhase = phase();
    if (shown == m_shownProgress && currentPhase == m_shownPhase)
        return;
    m_shownProgress = shown;
    m_shownPhase = currentPhase;
    emit changed();
}

// The reason an upgrade ends is its last error or warning; advice that follows it is not.
void UpgradeMonitor::onMessage(const Message &message)
{
    if (message.meaning.kind == MessageKind::Error || message.meaning.kind == MessageKind::Warning)
        m_lastSetback = message.text;
}
