#include "window/PortCatalog.h"

#include "app/Config.h"

#include <QFileInfo>

namespace {
bool isNamed(const PortEntry &port, const QString &name)
{
    return !name.isEmpty()
        && (port.path == name || port.displayName() == name || port.kernelName == name || port.devicePath == name
            || port.path.section(QLatin1Char('/'), -1) == name);
}

PortEntry typedPort(const QString &path)
{
    return PortEntry{path, QString(), QString(), QString(), QString(), QString()};
}
}

PortCatalog::PortCatalog(QObject *parent, PortWatcher::Scanner scanner)
    : QObject(parent)
    , m_watcher(std::move(scanner))
    , m_lastPort(readLastSerialPort())
    , m_lastBaud(readLastBaudRate())
{
    connect(&m_watcher, &PortWatcher::portsChanged, this, &PortCatalog::onPortsChanged);
    if (!m_lastPort.isEmpty())
        m_chosen = present(m_lastPort) ? *present(m_lastPort) : typedPort(m_lastPort);
    else if (!m_watcher.ports().isEmpty())
        m_chosen = m_watcher.ports().first();
}

QStringList PortCatalog::portNames() const
{
    QStringList names;
    for (const PortEntry &port : m_watcher.ports())
        names.append(port.displayName());
    if (!m_chosen.path.isEmpty() && !present(m_chosen.path))
        names.append(m_chosen.displayName());
    return names;
}

const PortEntry *PortCatalog::present(const QString &name) const
{
    for (const PortEntry &port : m_watcher.ports()) {
        if (isNamed(port, name))
            return &port;
    }
    return nullptr;
}

void PortCatalog::choose(const QString &name)
{
    // A name is used as typed: "ctl " may be another link than "ctl".
    if (name.trimmed().isEmpty() || isNamed(m_chosen, name))
        return;
    m_chosen = present(name) ? *present(name) : typedPort(name);
    emit portsChanged();
}

QString PortCatalog::pathOf(const QString &name) const
{
    if (const PortEntry *port = present(name))
        return port->path;
    return isNamed(m_chosen, name) ? m_chosen.path : name;
}

QString PortCatalog::kernelName(const QString &name) const
{
    const PortEntry *port = present(name);
    return port && port->displayName() != port->kernelName ? port->kernelName : QString();
}

bool PortCatalog::isPresent(const QString &name) const
{
    if (present(name))
        return true;
    const QString path = pathOf(name);
    return isPortPath(path) && QFileInfo::exists(path);
}

QString PortCatalog::details(const QString &name) const
{
    const PortEntry *port = present(name);
    if (!port)
        return QString();
    QStringList parts;
    for (const QString &part : {port->description.trimmed(), port->manufacturer.trimmed()}) {
        if (!part.isEmpty() && !parts.contains(part))
            parts.append(part);
    }
    return parts.join(QStringLiteral(" · "));
}

void PortCatalog::rescan()
{
    m_watcher.rescan();
}

void PortCatalog::onPortsChanged()
{
    // A port plugged in when nothing was chosen is the obvious choice.
    if (m_chosen.path.isEmpty() && !m_watcher.ports().isEmpty())
        m_chosen = m_watcher.ports().first();
    // The chosen port back under its name, perhaps with new details.
    else if (const PortEntry *port = present(m_chosen.path))
        m_chosen = *port;
    emit portsChanged();
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
