#include "bridge/AppBridge.h"

#include "app/Config.h"
#include "app/Version.h"
#include "log/AppLog.h"
#include "log/elog.h"

#include <QTimer>

AppBridge::AppBridge(QObject *parent)
    : QObject(parent)
{
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Config file=%s, log file=%s",
                configFilePath().toUtf8().constData(), appLogFilePath().toUtf8().constData());
    connect(&m_serial.port(), &Uartcore::rawBytesReceived, this, &AppBridge::onRawBytes);
    m_serial.port().setPortLostHandler([this] { onPortLost(); });
    connect(&m_messages, &MessageLog::textChanged, this, &AppBridge::messageLogChanged);
    connect(&m_telemetry, &ControllerTelemetry::heartbeatChanged, this, &AppBridge::heartbeatChanged);
    connect(&m_telemetry, &ControllerTelemetry::versionsChanged, this, &AppBridge::tavoxVersionChanged);
    connectUpgrade();
    m_messages.report(Message::info(QStringLiteral("应用已启动"), QStringLiteral("Application started"),
                                    MessageTopic::Started));
    QTimer::singleShot(0, this, &AppBridge::refreshSerialPorts);
}

AppBridge::~AppBridge() = default;

void AppBridge::clearMessages()
{
    m_messages.clear();
}

void AppBridge::setLanguage(QString lang)
{
    const Language::Change change = m_language.set(lang);
    if (change == Language::Change::None)
        return;
    if (change == Language::Change::NotSaved)
        m_messages.report(settingsNotSavedMessage());
    emit languageChanged();
    emit linkStatusChanged();
}

QString AppBridge::appVersion() const
{
    return QLatin1Char('v') + tavoxVersion();
}

QString AppBridge::linkStatus() const
{
    return m_language.localized(linkStatusText());
}

TextPair AppBridge::linkStatusText() const
{
    return serialOpened() ? TextPair { QStringLiteral("当前连接: UART"), QStringLiteral("Connected: UART") }
                          : TextPair { QStringLiteral("当前连接: 未连接"), QStringLiteral("Connected: None") };
}

void AppBridge::reportLinkStatus()
{
    const TextPair status = linkStatusText();
    m_messages.report(Message::info(QStringLiteral("连接状态: ") + status.zh, QStringLiteral("Link status: ") + status.en));
}

bool AppBridge::tavoxRequireSerial()
{
    return m_serial.require();
}

void AppBridge::tavoxOnStartup()
{
    if (m_startupHintShown)
        return;
    m_startupHintShown = true;
    m_serial.reportPortRequired();
}
