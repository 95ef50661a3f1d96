#pragma once

#include "bridge/LinkHealth.h"
#include "service/SessionRecords.h"

#include <QElapsedTimer>
#include <QObject>

class AppBridge;
class AutoReconnect;

// What happened to the serial link during the session, with the times, for
// the diagnostics archive: opens, closes, losses, waits for a lost port and
// reconnections, heartbeat gaps and upgrades. A heartbeat gap on a link that
// was working is also told in the message log, once when it begins and once,
// with its length, when it ends.
class LinkEvents : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxEvents = 5000;

    struct Event
    {
        QDateTime time;
        QString name;     // "port-opened", "heartbeat-lost", …
        QString detail;   // in English, like versions.txt
    };

    explicit LinkEvents(AppBridge &bridge, QObject *parent = nullptr);
    void followReconnection(const AutoReconnect &reconnect);

    const NewestRecords<Event> &events() const { return m_events; }
    // link-events.tsv: time, event, detail.
    QByteArray toTabSeparated() const;

signals:
    void recorded(const LinkEvents::Event &event);

private:
    void record(const QString &name, const QString &detail);
    void onOpenedChanged();
    void onHeartbeatLost(qint64 silentMs, bool heardSinceOpen);
    void onHeartbeatRestored(qint64 gapMs, bool heardSinceOpen);
    void onUpgradingChanged();

    AppBridge &m_bridge;
    LinkHealth m_health;
    NewestRecords<Event> m_events {MaxEvents};
    QString m_portName;
    // The message log was told of the current gap, so it hears of its end.
    bool m_gapReported = false;
    // Since the tool last told the controller to restart.
    QElapsedTimer m_sinceRestartSent;
};
