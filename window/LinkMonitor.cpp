#include "window/LinkMonitor.h"

#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"
#include "service/ControllerWatch.h"

LinkMonitor::LinkMonitor(AppBridge &bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(AnswerTimeoutMs);
    connect(&m_answerTimer, &QTimer::timeout, this, &LinkMonitor::onAnswerTimeout);
    m_heartbeatWatch.setSingleShot(true);
    connect(&m_heartbeatWatch, &QTimer::timeout, this, &LinkMonitor::onHeartbeatDeadline);
    m_restartWindow.setSingleShot(true);
    m_restartWindow.setInterval(RestartSilenceMs);
    connect(&m_restartWindow, &QTimer::timeout, this, &LinkMonitor::onRestartOverdue);
    connect(&bridge.messages(), &MessageLog::entryAdded, this, [this](const MessageEntry &entry) {
        if (entry.meaning.topic == MessageTopic::RestartSent)
            onRestartSent();
    });

    connect(&bridge, &AppBridge::serialOpenedChanged, this, &LinkMonitor::onOpenedChanged);
    connect(&bridge, &AppBridge::heartbeatChanged, this, &LinkMonitor::onHeartbeat);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &LinkMonitor::onParams);
    connect(&bridge, &AppBridge::tavoxVersionChanged, this, &LinkMonitor::onVersion);
    connect(&bridge, &AppBridge::tavoxUpgradingChanged, this, &LinkMonitor::changed);
    connect(&bridge, &AppBridge::languageChanged, this, &LinkMonitor::changed);
    m_paramBlocksSeen = bridge.parameters().blocksReceived();
    if (bridge.serialOpened())
        onOpenedChanged();
}

void LinkMonitor::followReconnection(const AutoReconnect &reconnect)
{
    m_reconnect = &reconnect;
    connect(&reconnect, &AutoReconnect::waitingChanged, this, [this] {
        if (!m_bridge.serialOpened())
            setState(closedState());
    });
}

void LinkMonitor::followController(const ControllerWatch &watch)
{
    m_controller = &watch;
    connect(&watch, &ControllerWatch::changed, this, &LinkMonitor::changed);
}

bool LinkMonitor::otherController() const
{
    return m_state == Connected && m_controller && m_controller->otherController();
}

LinkMonitor::State LinkMonitor::closedState() const
{
    if (m_reconnect && m_reconnect->waiting())
        return Reconnecting;
    return m_bridge.serialLink().portLost() ? PortLost : NotConnected;
}

QString LinkMonitor::statusText() const
{
    switch (m_state) {
    case NotConnected:
        return m_bridge.languageSetting().localized(QStringLiteral("未连接"), QStringLiteral("Not connected"));
    case Connecting:
        return m_bridge.languageSetting().localized(QStringLiteral("正在连接 %1…"), QStringLiteral("Connecting to %1…")).arg(m_portName);
    case Connected: {
        const QString firmware = m_bridge.tavoxFirmwareVersion();
        if (!m_versionSinceOpen || firmware == QLatin1String("-"))
            return m_bridge.languageSetting().localized(QStringLiteral("已连接 %1"), QStringLiteral("Connected to %1")).arg(m_portName);
        if (otherController())
            return m_bridge.languageSetting()
                .localized(QStringLiteral("%1 上是另一台控制器 — 固件 %2，之前为 %3"),
                           QStringLiteral("Another controller on %1 — firmware %2, was %3"))
                .arg(m_portName, firmware, m_controller->previousFirmware());
        return m_bridge.languageSetting().localized(QStringLiteral("已连接 %1 — 固件 %2"), QStringLiteral("Connected to %1 — firmware %2"))
            .arg(m_portName, firmware);
    }
    case NoAnswer:
        return m_bridge.languageSetting().localized(QStringLiteral("%1 上的控制器无应答"), QStringLiteral("No answer from the controller on %1"))
            .arg(m_portName);
    case LinkLost:
        return m_bridge.languageSetting().localized(QStringLiteral("链路中断：%1 上无心跳"), QStringLiteral("Link lost: no heartbeat on %1"))
            .arg(m_portName);
    case PortLost:
        return m_bridge.languageSetting().localized(QStringLiteral("串口已断开：%1"), QStringLiteral("Port lost: %1")).arg(m_portName);
    case Reconnecting:
        return m_bridge.languageSetting().localized(QStringLiteral("正在重新连接 %1…"), QStringLiteral("Reconnecting to %1…"))
            .arg(m_portName);
    case Restarting:
        return m_bridge.languageSetting().localized(QStringLiteral("控制器正在重启…"), QStringLiteral("Controller restarting…"));
    }
    return QString();
}

bool LinkMonitor::telemetryLive() const
{
    return m_bridge.serialOpened() && m_bridge.hbReceived() && m_heartbeatWatch.isActive();
}

QString LinkMonitor::valuesNote() const
{
    if (!m_valuesKnown)
        return m_bridge.languageSetting().localized(QStringLiteral("尚未读取参数"), QStringLiteral("No values read yet"));
    if (!m_valuesLive)
        return m_bridge.languageSetting().localized(QStringLiteral("%1 读取的旧值，非当前设备"), QStringLiteral("Values read at %1 — not live"))
            .arg(m_valuesTime.toString(QStringLiteral("hh:mm:ss")));
    return QString();
}

bool LinkMonitor::deviceReady() const
{
    return m_bridge.serialOpened() && !m_bridge.tavoxUpgrading();
}

QString LinkMonitor::blockedReason() const
{
    if (!m_bridge.serialOpened())
        return m_bridge.languageSetting().localized(QStringLiteral("请先打开串口"), QStringLiteral("Open the serial port first"));
    if (m_bridge.tavoxUpgrading())
        return m_bridge.languageSetting().localized(QStringLiteral("固件升级中，暂不可用"), QStringLiteral("Not available during the firmware upgrade"));
    return QString();
}

QString LinkMonitor::writeBlockedReason() const
{
    const QString reason = blockedReason();
    if (!reason.isEmpty() || m_valuesLive)
        return reason;
    return m_bridge.languageSetting().localized(QStringLiteral("请先读取控制器的参数"), QStringLiteral("Read the controller's parameters first"));
}

void LinkMonitor::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit changed();
}

// A reopen arrives as a close followed by an open: the values shown are the
// last controller's until a block comes from the new one.
void LinkMonitor::onOpenedChanged()
{
    m_valuesLive = false;
    m_answered = false;
    m_versionSinceOpen = false;
    m_restartWindow.stop();
    if (!m_bridge.serialOpened()) {
        m_answerTimer.stop();
        m_heartbeatWatch.stop();
        m_state = closedState();
        emit changed();
        return;
    }
    m_portName = m_bridge.serialLink().portName();
    m_answerTimer.start();
    m_sinceHeartbeat.restart();
    m_heartbeatWatch.start(HeartbeatTimeoutMs);
    m_state = Connecting;
    emit changed();
}

// Called for every heartbeat, so it does no more than note the time unless
// the link was taken for lost.
void LinkMonitor::onHeartbeat()
{
    if (!m_bridge.hbReceived() || !m_bridge.serialOpened())
        return;
    const bool firstSinceSilence = !m_heartbeatWatch.isActive();
    m_sinceHeartbeat.restart();
    if (!firstSinceSilence)
        return;
    m_heartbeatWatch.start(HeartbeatTimeoutMs);
    if (m_state == LinkLost || m_state == Restarting) {
        m_restartWindow.stop();
        setState(Connected);
    }
    else
        emit changed();
}

void LinkMonitor::onHeartbeatDeadline()
{
    const qint64 remaining = HeartbeatTimeoutMs - m_sinceHeartbeat.elapsed();
    if (remaining > 0) {
        m_heartbeatWatch.start(int(remaining));
        return;
    }
    if (m_state == Connected)
        setState(m_restartWindow.isActive() ? Restarting : LinkLost);
    else
        emit changed();
}

// A controller already silent (an upgrade's end) is restarting from now on.
void LinkMonitor::onRestartSent()
{
    if (!m_bridge.serialOpened())
        return;
    m_restartWindow.start();
    if (m_state == LinkLost)
        setState(Restarting);
}

void LinkMonitor::onRestartOverdue()
{
    if (m_state == Restarting)
        setState(LinkLost);
}

void LinkMonitor::onParams()
{
    const int blocks = m_bridge.parameters().blocksReceived();
    if (blocks == m_paramBlocksSeen)
        return;
    m_paramBlocksSeen = blocks;
    m_valuesKnown = true;
    m_valuesLive = m_bridge.serialOpened();
    m_valuesTime = QTime::currentTime();
    onAnswered();
    emit changed();
    QMetaObject::invokeMethod(this, &LinkMonitor::parametersArrived, Qt::QueuedConnection);
}

void LinkMonitor::onVersion()
{
    if (m_bridge.tavoxFirmwareVersion() == QLatin1String("-") || !m_bridge.serialOpened())
        return;
    const bool firstReply = !m_versionSinceOpen;
    m_versionSinceOpen = true;
    onAnswered();
    if (firstReply)
        emit changed();
}

void LinkMonitor::onAnswered()
{
    if (!m_bridge.serialOpened() || m_answered)
        return;
    m_answered = true;
    m_answerTimer.stop();
    setState(m_heartbeatWatch.isActive() ? Connected : LinkLost);
}

void LinkMonitor::onAnswerTimeout()
{
    if (!m_answered)
        setState(NoAnswer);
}
