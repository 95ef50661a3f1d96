#pragma once

#include "device/ControllerTelemetry.h"
#include "device/DeviceLink.h"
#include "device/MessageSink.h"
#include "device/UpgradeDriver.h"

// A firmware upgrade from the operator's side: the checks before a start, the
// driver that carries it out over the link, and what follows its completion
// (the controller's new versions are asked for once it has restarted).
class UpgradeControl
{
public:
    UpgradeControl(DeviceLink &link, MessageSink &messages, ControllerTelemetry &telemetry);

    UpgradeDriver &driver() { return m_driver; }
    const UpgradeDriver &driver() const { return m_driver; }

    // Refused while the link is closed or an upgrade runs, and for a file
    // that cannot be an image; each refusal says why.
    void start(const QString &filePath);

private:
    bool readImage(const QString &filePath, QByteArray &image);
    void reportImageRefused(const TextPair &reason);
    void onCompleted();

    DeviceLink &m_link;
    MessageSink &m_messages;
    ControllerTelemetry &m_telemetry;
    UpgradeDriver m_driver;
};
