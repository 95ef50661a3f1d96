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
            [this](const QString &zh, const QString &en) { appendMessage(localized(zh, en)); });
    connect(&m_upgrade, &UpgradeDriver::diagnostic, this, &AppBridge::logDiagnostic);
    connect(&m_upgrade, &UpgradeDriver::frameToSend, this, &AppBridge::sendFrame);
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
    const QString path = m_chooseUpgradeFile(localized(QStringLiteral("选择固件文件"), QStringLiteral("Select firmware")),
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
    appendMessage(localized(QStringLiteral("开始升级，文件大小: "), QStringLiteral("Starting upgrade, size: "))
                  + QString::number(image.size()) + QStringLiteral(" bytes"));
    m_upgrade.begin();
}

// Reports why an image cannot be used.
bool AppBridge::readUpgradeImage(const QString &filePath, QByteArray &image)
{
    switch (readFirmwareImage(filePath, UpgradeSession::MaxImageSize, image)) {
    case FirmwareImageError::None:
        return true;
    case FirmwareImageError::CannotOpen:
        appendMessage(localized(QStringLiteral("无法打开固件文件"), QStringLiteral("Cannot open firmware file")));
        break;
    case FirmwareImageError::CannotRead:
        appendMessage(localized(QStringLiteral("无法读取固件文件"), QStringLiteral("Cannot read firmware file")));
        break;
    case FirmwareImageError::TooLarge:
        appendMessage(localized(QStringLiteral("固件文件过大"), QStringLiteral("Firmware file too large")));
        break;
    case FirmwareImageError::Empty:
        appendMessage(localized(QStringLiteral("固件文件为空"), QStringLiteral("Firmware file is empty")));
        break;
    }
    return false;
}

void AppBridge::onUpgradeCompleted()
{
    appendMessage(localized(QStringLiteral("升级完成!"), QStringLiteral("Upgrade completed!")));
    m_firmwareVersion = QStringLiteral("-");
    m_bootVersion = QStringLiteral("-");
    emit tavoxVersionChanged();
    m_link.runWhileOpen(FirstVersionQueryMs, [this] { tavoxQueryVersion(); });
    m_link.runWhileOpen(SecondVersionQueryMs, [this] { tavoxQueryVersion(); });
}
