#include "window/PortCatalog.h"

#include "app/Config.h"

#include <QSerialPortInfo>
#include <QStringList>

namespace {
QVector<PortCatalog::PortDetails> systemPorts()
{
    QVector<PortCatalog::PortDetails> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.systemLocation(), info.description(), info.manufacturer()});
    return ports;
}

// The list shows a port by its path or, for ports that are not device files, by its short name.
bool isNamed(const PortCatalog::PortDetails &port, const QString &portName)
{
    return port.name == portName || port.name.section(QLatin1Char('/'), -1) == portName;
}
}

PortCatalog::PortCatalog(QObject *parent, PortLister lister)
    : QObject(parent)
    , m_lister(lister ? std::move(lister) : PortLister(systemPorts))
    , m_lastPort(readLastSerialPort())
    , m_lastBaud(readLastBaudRate())
{
}

QString PortCatalog::details(const QString &portName) const
{
    if (portName.isEmpty())
        return QString();
    for (const PortDetails &port : m_lister()) {
        if (!isNamed(port, portName))
            continue;
        QStringList parts;
        for (const QString &part : {port.description.trimmed(), port.manufacturer.trimmed()}) {
            if (!part.isEmpty() && !parts.contains(part))
                parts.append(part);
        }
        return parts.join(QStringLiteral(" · "));
    }
    return QString();
}

void PortCatalog::remember(const QString &portName, int baudRate)
{
    if (portName.isEmpty() || baudRate <= 0 || (portName == m_lastPort && baudRate == m_lastBaud))
        return;
    // A choice that could not be stored is still the one of this run.
    writeLastSerialChoice(portName, baudRate);
    m_lastPort = portName;
    m_lastBaud = baudRate;
    emit lastChoiceChanged();
}
