// Firmware upgrade: file choice, the checks before a start, and the wiring of
// the upgrade driver to the message log and the port.
#include "bridge/AppBridge.h"

#include "app/Config.h"
#include "device/FirmwareImage.h"

#include <QFileInfo>

namespace {
const int FirstVersionQueryMs = 3000;
const int SecondVersionQueryMs = 6000;
}

void AppBridge::connectUpgrade()
{
    connect(&m_upgrade, &UpgradeDriver::message, this,
            [this](const Message &message) { m_messages.report(message); });
    connect(&m_upgrade, &UpgradeDriver::diagnostic, this, [this](const QString &line) { m_messages.diagnostic(line); });
    connect(&m_upgrade, &UpgradeDriver::frameToSend, this, [this](const QByteArray &frame) { m_serial.send(frame); });
    connect(&m_upgrade, &UpgradeDriver::activeChanged, this, &AppBridge::tavoxUpgradingChanged);
    connect(&m_upgrade, &UpgradeDriver::progressChanged, this, &AppBridge::tavoxUpgradeProgressChanged);
    connect(&m_upgrade, &UpgradeDriver::completed, this, &AppBridge::onUpgradeCompleted);
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
    if (!m_chooseUpgradeFile)
        return;
    const QString path = m_chooseUpgradeFile(m_language.localized(QStringLiteral("选择固件文件"), QStringLiteral("Select firmware")),
                                readUpgradeLastDir(), QStringLiteral("Binary (*.bin);;All (*.*)"));
    if (path.isEmpty())
        return;
    m_upgradeFilePath = path;
    emit tavoxUpgradeFilePathChanged();
    if (!writeUpgradeLastDir(QFileInfo(path).absolutePath()))
        m_messages.report(settingsNotSavedMessage());
}

void AppBridge::tavoxStartUpgrade(QString filePath)
{
    if (!tavoxRequireSerial())
        return;
    if (m_upgrade.active()) {
        m_messages.report(Message::error(QStringLiteral("升级正在进行中，请等待"), QStringLiteral("Upgrade in progress, please wait"),
                                         MessageTopic::None, OperatorAction::Upgrade));
        return;
    }
    QByteArray image;
    if (!readUpgradeImage(filePath, image))
        return;

    m_upgrade.load(image);
    const QString size = QString::number(image.size()) + QStringLiteral(" bytes");
    m_messages.report(Message::info(QStringLiteral("开始升级，文件大小: ") + size, QStringLiteral("Starting upgrade, size: ") + size));
    m_upgrade.begin();
}

// Reports why an image cannot be used.
bool AppBridge::readUpgradeImage(const QString &filePath, QByteArray &image)
{
    switch (readFirmwareImage(filePath, UpgradeSession::MaxImageSize, image)) {
    case FirmwareImageError::None:
        return true;
    case FirmwareImageError::CannotOpen:
        reportImageRefused({ QStringLiteral("无法打开固件文件"), QStringLiteral("Cannot open firmware file") });
        break;
    case FirmwareImageError::CannotRead:
        reportImageRefused({ QStringLiteral("无法读取固件文件"), QStringLiteral("Cannot read firmware file") });
        break;
    case FirmwareImageError::TooLarge:
        reportImageRefused({ QStringLiteral("固件文件过大"), QStringLiteral("Firmware file too large") });
        break;
    case FirmwareImageError::Empty:
        reportImageRefused({ QStringLiteral("固件文件为空"), QStringLiteral("Firmware file is empty") });
        break;
    }
    return false;
}

void AppBridge::reportImageRefused(const TextPair &reason)
{
    m_messages.report({ reason, { MessageKind::Error, MessageTopic::UpgradeFailed, OperatorAction::Upgrade } });
}

void AppBridge::onUpgradeCompleted()
{
    m_messages.report(Message::success(QStringLiteral("升级完成!"), QStringLiteral("Upgrade completed!"),
                                       MessageTopic::None, OperatorAction::Upgrade));
    m_telemetry.forgetVersions();
    m_serial.session().runWhileOpen(FirstVersionQueryMs, [this] { tavoxQueryVersion(); });
    m_serial.session().runWhileOpen(SecondVersionQueryMs, [this] { tavoxQueryVersion(); });
}
