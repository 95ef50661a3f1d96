#include "link/PortScanner.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace {
// Device path -> its stable name, from the links of the by-id folder.
QHash<QString, QString> stableNames(const QString &folder)
{
    QHash<QString, QString> names;
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (!link.isSymLink())
            continue;
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty() && !names.contains(device))
            names.insert(device, link.absoluteFilePath());
    }
    return names;
}
}

QString PortEntry::displayName() const
{
    const bool stableName = !kernelName.isEmpty() && path != kernelName;
    return stableName ? path.section(QLatin1Char('/'), -1) : path;
}

bool PortEntry::operator==(const PortEntry &other) const
{
    return path == other.path && kernelName == other.kernelName && description == other.description
        && manufacturer == other.manufacturer && serialNumber == other.serialNumber && devicePath == other.devicePath;
}

QVector<PortEntry> systemSerialPorts()
{
    QVector<PortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (!info.portName().isEmpty())
            ports.append({info.portName(), info.portName(), info.description(), info.manufacturer(),
                          info.serialNumber(), info.systemLocation()});
    }
    return ports;
}

QVector<PortEntry> scanPorts(const PortScanPlaces &places, const QVector<PortEntry> &systemPorts)
{
    const QHash<QString, QString> stable = stableNames(places.byIdFolder);
    QVector<PortEntry> ports;
    QStringList listed;
    for (const QString &extra : places.extraPorts) {
        if (isPortPath(extra) && !QFileInfo::exists(extra))
            continue;
        ports.append({extra, QString(), QString(), QString(), QString(), QString()});
        listed << extra;
    }
    for (PortEntry port : systemPorts) {
        if (listed.contains(port.path) || listed.contains(port.devicePath))
            continue;
        port.path = stable.value(QFileInfo(port.devicePath).canonicalFilePath(), port.path);
        ports.append(port);
    }
    return ports;
}

PortScanPlaces systemPortPlaces()
{
    PortScanPlaces places;
    places.extraPorts = parseExtraPorts(qEnvironmentVariable("TAVOX_EXTRA_PORTS"));
    return places;
}

QStringList parseExtraPorts(const QString &value)
{
    QStringList names;
    for (const QString &entry : value.split(QLatin1Char(','))) {
        const QString name = entry.trimmed();
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

bool isPortPath(const QString &name)
{
    return name.startsWith(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String("..")
        || name.startsWith(QLatin1String("./")) || name.startsWith(QLatin1String("../"));
}

QString portPathOf(const QString &portName)
{
    if (portName.isEmpty())
        return QString();
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    if (isPortPath(portName))
        return QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + portName);
    return QStringLiteral("/dev/") + portName;
}

QString portDevicePath(const QString &portName)
{
    const QString path = portPathOf(portName);
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}
