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

bool isPath(const QString &name)
{
    return name.contains(QLatin1Char('/'));
}
}

QString PortEntry::displayName() const
{
    if (path.contains(QLatin1String("/serial/by-id/")))
        return path.section(QLatin1Char('/'), -1);
    return path;
}

bool PortEntry::operator==(const PortEntry &other) const
{
    return path == other.path && kernelName == other.kernelName && description == other.description
        && manufacturer == other.manufacturer && serialNumber == other.serialNumber;
}

QVector<PortEntry> scanPorts(const PortScanPlaces &places)
{
    const QHash<QString, QString> stable = stableNames(places.byIdFolder);
    QVector<PortEntry> ports;
    QStringList listed;
    for (const QString &extra : places.extraPorts) {
        if (isPath(extra) && !QFileInfo::exists(extra))
            continue;
        ports.append({extra, QString(), QString(), QString(), QString()});
        listed << extra;
    }
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.portName().isEmpty())
            continue;
        const QString device = QFileInfo(info.systemLocation()).canonicalFilePath();
        const QString path = stable.value(device, info.portName());
        if (listed.contains(path) || listed.contains(info.portName()))
            continue;
        ports.append({path, info.portName(), info.description(), info.manufacturer(), info.serialNumber()});
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

QString portDevicePath(const QString &portName)
{
    const QString name = portName.trimmed();
    if (name.isEmpty())
        return QString();
    const QString path = isPath(name) ? name : QStringLiteral("/dev/") + name;
    return QFileInfo(path).canonicalFilePath();
}
