#include "bridge/AppBridge.h"

#include "app/Config.h"
#include "app/DebugConsole.h"
#include "app/Version.h"
#include "log/AppLog.h"
#include "log/Diagnostics.h"
#include "log/elog.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>

namespace {
// The log keeps fewer than this many line separators.
const int MessageLogSeparatorLimit = 500;

// Local time without asking the system for its zone on every line (Qt re-reads
// the zone for each conversion): the offset from UTC is looked up once a minute.
QString localTimeText()
{
    static qint64 offsetMinute = -1;
    static int offsetSecs = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 minute = utc.toSecsSinceEpoch() / 60;
    if (minute != offsetMinute) {
        offsetSecs = utc.toLocalTime().offsetFromUtc();
        offsetMinute = minute;
    }
    return utc.addSecs(offsetSecs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString timestamped(const QString &text)
{
    return QStringLiteral("[%1] %2").arg(localTimeText(), text);
}

void echo(const QString &line)
{
    if (isConsoleActive())
        writeConsoleLine(line);
    else
        qDebug().noquote() << line;
}
}

AppBridge::AppBridge(QObject *parent)
    : QObject(parent)
{
    m_language = readConfiguredLanguage(m_language);
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Config file=%s, log file=%s",
                configFilePath().toUtf8().constData(), appLogFilePath().toUtf8().constData());
    connect(&m_uart, &Uartcore::rawBytesReceived, this, &AppBridge::onRawBytes);
    m_uart.setPortLostHandler([this] { onPortLost(); });
    connectUpgrade();
    m_monotonic.start();
    m_floodEndCheck.setSingleShot(true);
    connect(&m_floodEndCheck, &QTimer::timeout, this, &AppBridge::reportEndedFloods);
    appendMessage(localized(QStringLiteral("应用已启动"), QStringLiteral("Application started")));
    QTimer::singleShot(0, this, &AppBridge::refreshSerialPorts);
}

AppBridge::~AppBridge() = default;

QString AppBridge::localized(const QString &zh, const QString &en) const
{
    return m_language == QLatin1String("zh") ? zh : en;
}

void AppBridge::scheduleMessageLogChanged()
{
    QTimer::singleShot(0, this, &AppBridge::messageLogChanged);
}

void AppBridge::appendMessage(const QString &text)
{
    const QString entry = timestamped(text);
    echo(entry);
    if (m_messageObserver)
        m_messageObserver(text, entry);
    if (m_messageLog.isEmpty())
        m_messageLog = entry;
    else
        m_messageLog += QLatin1Char('\n') + entry;

    if (m_messageLog.count(QLatin1Char('\n')) >= MessageLogSeparatorLimit) {
        const int first = m_messageLog.indexOf(QLatin1Char('\n'));
        const int second = m_messageLog.indexOf(QLatin1Char('\n'), first + 1);
        m_messageLog.remove(0, second + 1);
    }
    scheduleMessageLogChanged();
}

void AppBridge::logDiagnostic(const QString &text)
{
    if (diagnosticsHeard())
        echo(timestamped(text));
}

void AppBridge::clearMessages()
{
    m_messageLog.clear();
    scheduleMessageLogChanged();
}

void AppBridge::setLanguage(QString lang)
{
    const QString normalised = lang.trimmed().toLower() == QLatin1String("en") ? QStringLiteral("en")
                                                                               : QStringLiteral("zh");
    if (normalised == m_language)
        return;
    m_language = normalised;
    const bool saved = writeConfiguredLanguage(m_language);
    if (!saved)
        appendMessage(localized(QStringLiteral("设置无法保存: "), QStringLiteral("Settings could not be saved: "))
                      + configFilePath());
    emit languageChanged();
    emit linkStatusChanged();
}

QString AppBridge::appVersion() const
{
    return QLatin1Char('v') + tavoxVersion();
}

QString AppBridge::linkStatus() const
{
    return serialOpened() ? localized(QStringLiteral("当前连接: UART"), QStringLiteral("Connected: UART"))
                          : localized(QStringLiteral("当前连接: 未连接"), QStringLiteral("Connected: None"));
}

void AppBridge::appendLinkStatus()
{
    appendMessage(localized(QStringLiteral("连接状态: "), QStringLiteral("Link status: ")) + linkStatus());
}

bool AppBridge::tavoxRequireSerial()
{
    if (serialOpened())
        return true;
    appendMessage(localized(QStringLiteral("请您先打开串口"), QStringLiteral("Please open serial port first")));
    return false;
}

void AppBridge::tavoxOnStartup()
{
    if (m_startupHintShown)
        return;
    m_startupHintShown = true;
    appendMessage(localized(QStringLiteral("请您先打开串口"), QStringLiteral("Please open serial port first")));
}
