#include "service/AutoReconnect.h"

#include "bridge/AppBridge.h"
#include "link/PortScanner.h"
#include "link/PortWatcher.h"

#include <QFile>

#include <unistd.h>

namespace {
// Looking for the port costs a directory listing at most: often enough that
// the controller is back at hand as soon as it is plugged in.
const int CheckIntervalMs = 300;
// A port that is there but will not open (still settling, taken by another
// program) is tried less and less often, so its failures do not fill the log.
const int FirstRetryMs = 3000;
const int LongestRetryMs = 30000;

// Present and ours to use: a port the kernel lists before its permissions
// are set would only fail to open.
bool isUsable(const QString &name)
{
    const QString device = portDevicePath(name);
    return !device.isEmpty() && ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}
}

QString returnedPortName(const LostPort &lost, const QVector<PortEntry> &ports)
{
    if (!isPortPath(lost.name) && !lost.serialNumber.isEmpty()) {
        for (const PortEntry &port : ports) {
            if (port.serialNumber == lost.serialNumber && !port.kernelName.isEmpty())
                return isUsable(port.kernelName) ? port.kernelName : QString();
        }
        return QString();
    }
    return isUsable(lost.name) ? lost.name : QString();
}

AutoReconnect::AutoReconnect(AppBridge &bridge, QObject *parent) : QObject(parent), m_bridge(bridge)
{
    m_check.setSingleShot(true);
    connect(&m_check, &QTimer::timeout, this, &AutoReconnect::check);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &AutoReconnect::onOpenedChanged);
    // After the bridge has told of the loss and ended what ran on the link.
    connect(&bridge.serialLink(), &SerialLink::lost, this, &AutoReconnect::onLost);
    if (bridge.serialOpened())
        rememberOpenPort();
}

void AutoReconnect::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        stop();
    emit enabledChanged();
}

void AutoReconnect::stop()
{
    m_check.stop();
    setWaiting(false);
}

// An open or close by anyone but this class ends the wait: the operator has
// chosen a port, or none.
void AutoReconnect::onOpenedChanged()
{
    if (m_reopening)
        return;
    if (m_bridge.serialOpened()) {
        stop();
        rememberOpenPort();
    } else if (!m_bridge.serialLink().portLost()) {
        stop();
    }
}

void AutoReconnect::rememberOpenPort()
{
    const QString name = m_bridge.serialLink().portName();
    m_baudRate = m_bridge.serialLink().baudRate();
    m_port = {name, QString()};
    // Once the adapter is gone its serial number can no longer be looked up.
    if (isPortPath(name))
        return;
    for (const PortEntry &port : scanPorts(systemPortPlaces())) {
        if (port.kernelName == name) {
            m_port.serialNumber = port.serialNumber;
            return;
        }
    }
}

void AutoReconnect::onLost()
{
    if (!m_enabled || m_port.name.isEmpty())
        return;
    m_retryMs = 0;
    m_placesScanned.clear();
    m_ports.clear();
    m_bridge.messages().report(Message::info(QStringLiteral("等待 %1 重新连接…").arg(m_port.name),
                                             QStringLiteral("Waiting for %1 to come back…").arg(m_port.name)));
    m_check.start(CheckIntervalMs);
    // Last: whoever learns of the wait may end it at once.
    setWaiting(true);
}

void AutoReconnect::check()
{
    // A whole scan costs tens of milliseconds: it is made again only when the
    // places ports appear in have changed.
    if (!isPortPath(m_port.name) && !m_port.serialNumber.isEmpty()) {
        QByteArray places = PortWatcher::systemFingerprint();
        if (places != m_placesScanned) {
            m_placesScanned = std::move(places);
            m_ports = scanPorts(systemPortPlaces());
        }
    }
    const QString name = returnedPortName(m_port, m_ports);
    if (name.isEmpty())
        m_check.start(CheckIntervalMs);
    else
        reopen(name);
}

void AutoReconnect::reopen(const QString &name)
{
    m_reopening = true;
    const bool opened = m_bridge.openSerial(name, m_baudRate);
    m_reopening = false;
    if (!opened) {
        m_retryMs = m_retryMs == 0 ? FirstRetryMs : qMin(2 * m_retryMs, LongestRetryMs);
        m_check.start(m_retryMs);
        return;
    }
    setWaiting(false);
    m_port.name = name;
    // Greeted as reconnected once the controller has said who it is (ControllerWatch).
    emit reopened();
}

void AutoReconnect::setWaiting(bool waiting)
{
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    emit waitingChanged();
}
