#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTime>
#include <QTimer>

class AppBridge;
class AutoReconnect;
class ControllerWatch;

// What the window may claim about the controller: whether anything answers on
// the open port, whether telemetry is current, whether the parameters shown
// are the attached controller's, and which device actions make sense now.
// Derived from the bridge's signals and two deadlines; the bridge itself waits
// for nothing.
class LinkMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY changed)
    Q_PROPERTY(QString statusText READ statusText NOTIFY changed)
    // As it appears in the status text, which a narrow line may shorten.
    Q_PROPERTY(QString portName READ portName NOTIFY changed)
    Q_PROPERTY(bool otherController READ otherController NOTIFY changed)
    Q_PROPERTY(bool telemetryLive READ telemetryLive NOTIFY changed)
    Q_PROPERTY(bool valuesKnown READ valuesKnown NOTIFY changed)
    Q_PROPERTY(bool valuesLive READ valuesLive NOTIFY changed)
    Q_PROPERTY(QString valuesNote READ valuesNote NOTIFY changed)
    Q_PROPERTY(bool deviceReady READ deviceReady NOTIFY changed)
    Q_PROPERTY(bool writesAllowed READ writesAllowed NOTIFY changed)
    Q_PROPERTY(QString blockedReason READ blockedReason NOTIFY changed)
    Q_PROPERTY(QString writeBlockedReason READ writeBlockedReason NOTIFY changed)

public:
    enum State { NotConnected, Connecting, Connected, NoAnswer, LinkLost, PortLost, Reconnecting, Restarting };
    Q_ENUM(State)

    // A controller answers the first requests well within this after an open.
    static constexpr int AnswerTimeoutMs = 2000;
    // Heartbeats come many times a second; this much silence means the link is gone.
    static constexpr int HeartbeatTimeoutMs = 1500;

    explicit LinkMonitor(AppBridge &bridge, QObject *parent = nullptr);
    // A lost port being waited for reads as reconnecting rather than lost.
    void followReconnection(const AutoReconnect &reconnect);
    // A controller other than the last one on the port is named as such.
    void followController(const ControllerWatch &watch);

    State state() const { return m_state; }
    QString statusText() const;
    const QString &portName() const { return m_portName; }
    bool otherController() const;
    bool telemetryLive() const;
    bool valuesKnown() const { return m_valuesKnown; }
    bool valuesLive() const { return m_valuesLive; }
    QString valuesNote() const;
    // Open, and no upgrade that another command could disturb.
    bool deviceReady() const;
    // Writes also need the attached controller's own values on screen.
    bool writesAllowed() const { return deviceReady() && m_valuesLive; }
    QString blockedReason() const;
    QString writeBlockedReason() const;

signals:
    void changed();
    // A parameter block from the controller is in the bridge's values. Comes
    // after everything else that follows the bridge's change signal, so that
    // whoever hears it finds the new values in place.
    void parametersArrived();

private:
    void setState(State state);
    void onOpenedChanged();
    State closedState() const;
    void onHeartbeat();
    void onParams();
    void onVersion();
    void onAnswered();
    void onAnswerTimeout();
    void onHeartbeatDeadline();
    void onRestartSent();
    void onRestartOverdue();

    AppBridge &m_bridge;
    const AutoReconnect *m_reconnect = nullptr;
    const ControllerWatch *m_controller = nullptr;
    State m_state = NotConnected;
    QString m_portName;
    bool m_answered = false;
    bool m_versionSinceOpen = false;
    bool m_valuesKnown = false;
    bool m_valuesLive = false;
    QTime m_valuesTime;
    int m_paramBlocksSeen = 0;
    QTimer m_answerTimer;
    QTimer m_heartbeatWatch;
    // Runs from a restart the tool sent until the controller is due back.
    QTimer m_restartWindow;
    QElapsedTimer m_sinceHeartbeat;
};
