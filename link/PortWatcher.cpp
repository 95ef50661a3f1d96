#include "link/PortWatcher.h"

namespace {
QVector<PortEntry> systemPorts()
{
    return scanPorts(systemPortPlaces());
}
}

PortWatcher::PortWatcher(Scanner scanner, QObject *parent)
    : QObject(parent)
    , m_scanner(scanner ? std::move(scanner) : Scanner(systemPorts))
    , m_ports(m_scanner())
{
    m_timer.setInterval(ScanIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PortWatcher::rescan);
    m_timer.start();
}

void PortWatcher::rescan()
{
    m_timer.start();
    QVector<PortEntry> ports = m_scanner();
    if (ports == m_ports)
        return;
    m_ports = std::move(ports);
    emit portsChanged();
}
