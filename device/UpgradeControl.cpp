#include "device/UpgradeControl.h"

#include "device/FirmwareImage.h"

namespace {
// The controller restarts after an upgrade; its versions are asked for twice
// in case the first request arrives while it is still starting.
const int FirstVersionQueryMs = 3000;
const int SecondVersionQueryMs = 6000;
}

UpgradeControl::UpgradeControl(DeviceLink &link, MessageSink &messages, ControllerTelemetry &telemetry)
    : m_link(link)
    , m_messages(messages)
    , m_telemetry(telemetry)
{
    QObject::connect(&m_driver, &UpgradeDriver::message, &m_driver,
                     [this](const Message &message) { m_messages.report(message); });
    QObject::connect(&m_driver, &UpgradeDriver::diagnostic, &m_driver,
                     [this](const QString &line) { m_messages.diagnostic(line); });
    QObject::connect(&m_driver, &UpgradeDriver::frameToSend, &m_driver,
                     [this](const QByteArray &frame) { m_link.send(frame); });
    QObject::connect(&m_driver, &UpgradeDriver::completed, &m_driver, [this] { onCompleted(); });
}

void UpgradeControl::start(const QString &filePath)
{
    if (!m_link.require())
        return;
    if (m_driver.active()) {
        m_messages.report(Message::error(QStringLiteral("升级正在进行中，请等待"), QStringLiteral("Upgrade in progress, please wait"),
                                         MessageTopic::None, OperatorAction::Upgrade));
        return;
    }
    QByteArray image;
    if (!readImage(filePath, image))
        return;

    m_driver.load(image);
    const QString size = QString::number(image.size()) + QStringLiteral(" bytes");
    m_messages.report(Message::info(QStringLiteral("开始升级，文件大小: ") + size, QStringLiteral("Starting upgrade, size: ") + size));
    // In full, for comparing with the checksum the confirmation showed shortened.
    const QString sha256 = QString::fromLatin1(firmwareImageSha256Hex(image));
    m_messages.report(Message::info(QStringLiteral("固件 SHA-256: ") + sha256, QStringLiteral("Firmware SHA-256: ") + sha256));
    m_driver.begin();
}

bool UpgradeControl::readImage(const QString &filePath, QByteArray &image)
{
    const FirmwareImageError error = readFirmwareImage(filePath, UpgradeSession::MaxImageSize, image);
    if (error == FirmwareImageError::None)
        return true;
    reportImageRefused(firmwareImageProblem(error));
    return false;
}

void UpgradeControl::reportImageRefused(const TextPair &reason)
{
    m_messages.report({ reason, { MessageKind::Error, MessageTopic::UpgradeFailed, OperatorAction::Upgrade } });
}

void UpgradeControl::onCompleted()
{
    m_messages.report(Message::success(QStringLiteral("升级完成!"), QStringLiteral("Upgrade completed!"),
                                       MessageTopic::None, OperatorAction::Upgrade));
    m_telemetry.forgetVersions();
    m_link.runWhileOpen(FirstVersionQueryMs, [this] { m_telemetry.queryVersion(); });
    m_link.runWhileOpen(SecondVersionQueryMs, [this] { m_telemetry.queryVersion(); });
}
