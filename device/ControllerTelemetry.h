#pragma once

#include "device/DeviceLink.h"
#include "device/HeartbeatRecord.h"
#include "device/MessageSink.h"

#include <QObject>
#include <QString>

// What the controller tells of itself: its heartbeat, the versions it answers
// the version query with, and the replies nobody asked for.
class ControllerTelemetry : public QObject
{
    Q_OBJECT

public:
    ControllerTelemetry(DeviceLink &link, MessageSink &messages, QObject *parent = nullptr);

    const HeartbeatRecord &heartbeat() const { return m_heartbeat; }
    bool heartbeatReceived() const { return m_heartbeatReceived; }
    // "-" until the controller answered the version query.
    const QString &firmwareVersion() const { return m_firmwareVersion; }
    const QString &bootVersion() const { return m_bootVersion; }

    void queryVersion();
    void handleHeartbeat(const QByteArray &payload);
    void handleVersionReply(const QByteArray &payload);
    // Version-1 replies of the general or the gimbal set that no one handles.
    void reportUnknownGeneralReply(quint8 commandId);
    void reportUnknownGimbalReply(quint8 commandId);

    // A new link, or none: the last heartbeat is no news of this one.
    void resetHeartbeat();
    // The controller is starting another firmware: its versions are to be asked again.
    void forgetVersions();

signals:
    void heartbeatChanged();
    void versionsChanged();

private:
    void reportUnknownReply(const TextPair &stem, quint8 commandId);

    DeviceLink &m_link;
    MessageSink &m_messages;
    HeartbeatRecord m_heartbeat;
    bool m_heartbeatReceived = false;
    bool m_heartbeatLogged = false;
    QString m_firmwareVersion = QStringLiteral("-");
    QString m_bootVersion = QStringLiteral("-");
};
