#pragma once

#include "device/ControllerIdentity.h"
#include "device/ParamWritePlan.h"

#include <QObject>
#include <QString>

class AppBridge;
class AutoReconnect;

// Which controller answers each time a port opens, told against the one that
// answered there before: after a reconnection the same controller is greeted
// as reconnected, another one is named as such, and the window's edits made
// for the first are marked (the epoch moves on). An activation or restart
// that a write still needed when the link ended is owed to the controller it
// was written to: sent once that controller answers again, on whatever port,
// and never to another one.
class ControllerWatch : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int     epoch             READ epoch             NOTIFY changed)
    Q_PROPERTY(bool    otherController   READ otherController   NOTIFY changed)
    Q_PROPERTY(QString previousFirmware  READ previousFirmware  NOTIFY changed)

public:
    explicit ControllerWatch(AppBridge &bridge, QObject *parent = nullptr);
    // A reopen by the reconnection counts as a reopen of the same port under any name.
    void followReconnection(const AutoReconnect &reconnect);

    // Moves on each time another controller than the last one answers.
    int epoch() const { return m_epoch; }
    // The controller on the open port is another than the one there before.
    bool otherController() const { return m_otherController; }
    // The firmware of the controller that answered before the other one.
    QString previousFirmware() const { return m_previousFirmware; }
    // What is owed to a controller not on the link now.
    OwedRestart owedRestart() const { return m_owed; }

signals:
    void changed();

private:
    void onOpenedChanged();
    void onAnswer();
    void linkEnded();
    void identify();
    void greet(bool samePort);
    void settleOwed();
    QString portName() const;

    AppBridge &m_bridge;
    // What the controller on the open port told of itself so far.
    ControllerIdentity m_current;
    // The last controller identified, and the port it answered on.
    ControllerIdentity m_last;
    QString m_lastPort;
    QString m_previousFirmware;
    ControllerIdentity m_owedTo;
    OwedRestart m_owed = OwedRestart::None;
    bool m_identified = false;
    bool m_reconnected = false;
    bool m_otherController = false;
    int m_epoch = 0;
};
