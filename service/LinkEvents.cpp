#include "service/LinkEvents.h"

#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"

namespace {
QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}
}

LinkEvents::LinkEvents(AppBridge &bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_health(bridge, false)
{
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &LinkEvents::onOpenedChanged);
    connect(&bridge, &AppBridge::tavoxUpgradingChanged, this, &LinkEvents::onUpgradingChanged);
    connect(&m_health, &LinkHealth::heartbeatLost, this, &LinkEvents::onHeartbeatLost);
    connect(&m_health, &LinkHealth::heartbeatRestored, this, &LinkEvents::onHeartbeatRestored);
    connect(&bridge.messages(), &MessageLog::entryAdded, this, [this](const MessageEntry &entry) {
        if (entry.meaning.topic == MessageTopic::RestartSent)
            m_sinceRestartSent.start();
    });
    if (bridge.serialOpened())
        onOpenedChanged();
}

void LinkEvents::followReconnection(const AutoReconnect &reconnect)
{
    connect(&reconnect, &AutoReconnect::waitingChanged, this, [this, &reconnect] {
        if (reconnect.waiting())
            record(QStringLiteral("waiting-for-port"), reconnect.portName());
        else if (!m_bridge.serialOpened())
            record(QStringLiteral("waiting-ended"), QStringLiteral("%1, by the operator").arg(m_portName));
    });
    connect(&reconnect, &AutoReconnect::reopened, this,
            [this] { record(QStringLiteral("reconnected"), m_bridge.serialLink().portName()); });
}

void LinkEvents::record(const QString &name, const QString &detail)
{
    const Event event {QDateTime::currentDateTime(), name, detail};
    m_events.append(event);
    emit recorded(event);
}

// Told before anyone starts to wait for a lost port.
void LinkEvents::onOpenedChanged()
{
    m_gapReported = false;
    const SerialLink &link = m_bridge.serialLink();
    if (m_bridge.serialOpened()) {
        m_portName = link.portName();
        record(QStringLiteral("port-opened"), QStringLiteral("%1 at %2 baud").arg(m_portName).arg(link.baudRate()));
    } else if (link.portLost()) {
        record(QStringLiteral("port-lost"), m_portName);
    } else {
        record(QStringLiteral("port-closed"), QStringLiteral("%1, by the operator").arg(m_portName));
    }
}

// A port opened on a controller that sends no heartbeat (none attached, or
// one in its bootloader) has lost nothing: the window already says that no
// controller answers. An upgrade silences the heartbeat by design, and its own
// messages tell how it goes, and so does a restart the tool sent.
void LinkEvents::onHeartbeatLost(qint64 silentMs, bool heardSinceOpen)
{
    if (!heardSinceOpen) {
        record(QStringLiteral("no-heartbeat"), QStringLiteral("none in the %1 s since the open").arg(seconds(silentMs)));
        return;
    }
    record(QStringLiteral("heartbeat-lost"), QStringLiteral("no heartbeat for %1 s").arg(seconds(silentMs)));
    const bool restarting = m_sinceRestartSent.isValid() && !m_sinceRestartSent.hasExpired(RestartSilenceMs);
    if (m_bridge.tavoxUpgrading() || restarting)
        return;
    m_gapReported = true;
    m_bridge.messages().report(
        Message::error(QStringLiteral("心跳中断：已 %1 秒未收到控制器的心跳").arg(seconds(silentMs)),
                       QStringLiteral("Heartbeat lost: no heartbeat from the controller for %1 s").arg(seconds(silentMs))));
}

void LinkEvents::onHeartbeatRestored(qint64 gapMs, bool heardSinceOpen)
{
    if (!heardSinceOpen) {
        record(QStringLiteral("first-heartbeat"), QStringLiteral("%1 s after the open").arg(seconds(gapMs)));
        return;
    }
    record(QStringLiteral("heartbeat-restored"), QStringLiteral("after a gap of %1 s").arg(seconds(gapMs)));
    if (!m_gapReported)
        return;
    m_gapReported = false;
    m_bridge.messages().report(Message::success(QStringLiteral("心跳已恢复，中断了 %1 秒").arg(seconds(gapMs)),
                                                QStringLiteral("Heartbeat restored after %1 s").arg(seconds(gapMs))));
}

void LinkEvents::onUpgradingChanged()
{
    if (m_bridge.tavoxUpgrading())
        record(QStringLiteral("upgrade-started"), m_portName);
    else
        record(QStringLiteral("upgrade-ended"), QStringLiteral("at %1 %").arg(m_bridge.tavoxUpgradeProgress()));
}

QByteArray LinkEvents::toTabSeparated() const
{
    QStringList lines;
    lines.reserve(m_events.size());
    for (const Event &event : m_events)
        lines.append(tabSeparated({isoLocalTime(event.time), event.name, event.detail}));
    return tabSeparatedFile({QStringLiteral("time"), QStringLiteral("event"), QStringLiteral("detail")}, lines,
                            m_events.dropped());
}
