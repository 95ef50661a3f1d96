// Firmware upgrade: file choice and the reply-driven session.
#include "bridge/AppBridge.h"

#include "app/Config.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include <chrono>

namespace {
const int RebootDelayMs = 500;
const int FirstVersionQueryMs = 3000;
const int SecondVersionQueryMs = 6000;

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// At most `limit` + 1 bytes, read in pieces: enough to tell that a file is too
// large without holding more of it, even one that reports no size or grows.
QByteArray readAtMost(QIODevice &device, qint64 limit)
{
    QByteArray data;
    data.reserve(int(qBound<qint64>(0, device.size(), limit + 1)));
    char piece[64 * 1024];
    while (data.size() <= limit) {
        const qint64 count = device.read(piece, qMin<qint64>(sizeof piece, limit + 1 - data.size()));
        if (count <= 0)
            break;
        data.append(piece, int(count));
    }
    return data;
}

QString chooseWithDialog(const QString &title, const QString &startDir, const QString &filter)
{
    return QFileDialog::getOpenFileName(nullptr, title, startDir, filter);
}
}

void AppBridge::setUpgradeFileChooser(UpgradeFileChooser chooser)
{
    m_chooseUpgradeFile = std::move(chooser);
}

void AppBridge::setUpgradeReplyTimeouts(const UpgradeSession::ReplyTimeouts &timeouts)
{
    m_upgrade.setReplyTimeouts(timeouts);
}

void AppBridge::tavoxSelectUpgradeFile()
{
    const UpgradeFileChooser choose = m_chooseUpgradeFile ? m_chooseUpgradeFile : chooseWithDialog;
    const QString path = choose(localized(QStringLiteral("选择固件文件"), QStringLiteral("Select firmware")),
                                readUpgradeLastDir(), QStringLiteral("Binary (*.bin);;All (*.*)"));
    if (path.isEmpty())
        return;
    m_upgradeFilePath = path;
    emit tavoxUpgradeFilePathChanged();
    if (!writeUpgradeLastDir(QFileInfo(path).absolutePath()))
        appendMessage(localized(QStringLiteral("设置无法保存: "), QStringLiteral("Settings could not be saved: "))
                      + configFilePath());
}

void AppBridge::tavoxStartUpgrade(QString filePath)
{
    if (!tavoxRequireSerial())
        return;
    if (m_upgrade.active()) {
        appendMessage(localized(QStringLiteral("升级正在进行中，请等待"), QStringLiteral("Upgrade in progress, please wait")));
        return;
    }
    QByteArray image;
    if (!readUpgradeImage(filePath, image))
        return;

    m_upgrade.load(image);
    emit tavoxUpgradeProgressChanged();
    appendMessage(localized(QStringLiteral("开始升级，文件大小: "), QStringLiteral("Starting upgrade, size: "))
                  + QString::number(image.size()) + QStringLiteral(" bytes"));
    setUpgrading(true);
    carryOut(m_upgrade.requestErase());
}

// Reports why an image cannot be used.
bool AppBridge::readUpgradeImage(const QString &filePath, QByteArray &image)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        appendMessage(localized(QStringLiteral("无法打开固件文件"), QStringLiteral("Cannot open firmware file")));
        return false;
    }
    const auto tooLarge = [this] {
        appendMessage(localized(QStringLiteral("固件文件过大"), QStringLiteral("Firmware file too large")));
        return false;
    };
    if (file.size() > UpgradeSession::MaxImageSize)
        return tooLarge();
    image = readAtMost(file, UpgradeSession::MaxImageSize);
    file.close();
    if (image.size() > UpgradeSession::MaxImageSize)
        return tooLarge();
    if (image.isEmpty()) {
        appendMessage(localized(QStringLiteral("固件文件为空"), QStringLiteral("Firmware file is empty")));
        return false;
    }
    return true;
}

void AppBridge::handleUpgradeReply(const ParsedFrame &frame)
{
    switch (frame.v1CommandId) {
    case UpgradeCommand::EraseDone:
        carryOut(m_upgrade.onEraseDone());
        break;
    case UpgradeCommand::StartReply:
        carryOut(m_upgrade.onStartReply(frame.payload));
        break;
    case UpgradeCommand::DataAck:
        carryOut(m_upgrade.onDataAck(frame.sequence));
        break;
    case UpgradeCommand::VerifyResult:
        carryOut(m_upgrade.onVerifyResult(frame.payload));
        break;
    default:
        break;
    }
}

void AppBridge::carryOut(const UpgradeSession::Reaction &reaction)
{
    for (const UpgradeSession::Text &text : reaction.messages)
        appendMessage(localized(text.zh, text.en));
    if (!reaction.frame.isEmpty()) {
        sendFrame(reaction.frame);
        if (reaction.awaitsReply)
            armUpgradeWatchdog();
    }
    if (reaction.endsUpgrade)
        setUpgrading(false);
    if (reaction.progressUpdated)
        emit tavoxUpgradeProgressChanged();
    if (reaction.verified)
        QTimer::singleShot(RebootDelayMs, this, &AppBridge::finishUpgrade);
}

void AppBridge::setUpgrading(bool upgrading)
{
    if (m_upgrade.active() == upgrading)
        return;
    m_upgrade.setActive(upgrading);
    emit tavoxUpgradingChanged();
}

void AppBridge::finishUpgrade()
{
    carryOut(m_upgrade.finish());
    appendMessage(localized(QStringLiteral("升级完成!"), QStringLiteral("Upgrade completed!")));
    m_firmwareVersion = QStringLiteral("-");
    m_bootVersion = QStringLiteral("-");
    emit tavoxVersionChanged();
    QTimer::singleShot(FirstVersionQueryMs, this, &AppBridge::tavoxQueryVersion);
    QTimer::singleShot(SecondVersionQueryMs, this, &AppBridge::tavoxQueryVersion);
}

// A controller that stops answering would otherwise hold the upgrade (and
// every further start) forever; replies stay the only thing that paces it.
void AppBridge::armUpgradeWatchdog()
{
    if (!m_upgrade.active())
        return;
    const qint64 now = monotonicMs();
    m_upgradeReplyDeadline = now + m_upgrade.replyTimeoutMs();
    if (m_upgradeWatchdogDue == 0 || m_upgradeWatchdogDue > m_upgradeReplyDeadline)
        scheduleUpgradeWatchdog(m_upgradeReplyDeadline - now);
}

void AppBridge::scheduleUpgradeWatchdog(qint64 delayMs)
{
    m_upgradeWatchdogDue = monotonicMs() + delayMs;
    const quint64 generation = ++m_upgradeWatchdogGeneration;
    QTimer::singleShot(int(delayMs), Qt::PreciseTimer, this, [this, generation] {
        if (generation == m_upgradeWatchdogGeneration)
            checkUpgradeWatchdog();
    });
}

void AppBridge::checkUpgradeWatchdog()
{
    m_upgradeWatchdogDue = 0;
    if (!m_upgrade.active() || !m_upgrade.awaitingReply())
        return;
    const qint64 remaining = m_upgradeReplyDeadline - monotonicMs();
    if (remaining > 0) {
        scheduleUpgradeWatchdog(remaining);
        return;
    }
    carryOut(m_upgrade.onReplyTimeout());
}
