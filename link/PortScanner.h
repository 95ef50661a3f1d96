#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One serial port the system offers. A USB adapter with a stable name under
// /dev/serial/by-id/ is listed by that name, which survives replugging in
// another order; the kernel's name is kept beside it.
struct PortEntry
{
    QString path;           // what to open: the by-id path, a device path, or a name as given
    QString kernelName;     // e.g. ttyUSB0; empty for a path the system does not list
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString devicePath;     // the device file the system names, e.g. /dev/ttyUSB0

    // The name a list shows: the last part of a stable name, else the path as given.
    QString displayName() const;
    bool operator==(const PortEntry &other) const;
    bool operator!=(const PortEntry &other) const { return !(*this == other); }
};

// Where the system's stable names live; a test points it elsewhere.
struct PortScanPlaces
{
    QString byIdFolder = QStringLiteral("/dev/serial/by-id");
    // Extra ports by name or path (TAVOX_EXTRA_PORTS): a path is listed only while it exists.
    QStringList extraPorts;
};

// The serial ports the system enumerates, in its own order, each by its kernel name.
QVector<PortEntry> systemSerialPorts();
// The extra ports that exist, then `systemPorts`, each by its stable name when it has one.
QVector<PortEntry> scanPorts(const PortScanPlaces &places, const QVector<PortEntry> &systemPorts = systemSerialPorts());
// The places of this system, with the extra ports of TAVOX_EXTRA_PORTS.
PortScanPlaces systemPortPlaces();
// The comma-separated list of TAVOX_EXTRA_PORTS, blanks and repeats dropped.
QStringList parseExtraPorts(const QString &value);
// Whether `name` is a path of its own (absolute, or "./" or "../" from the
// working folder) rather than a name of the kernel's ("ttyUSB0", "pts/3").
bool isPortPath(const QString &name);
// The one reading of a port name, for the open, the messages and every record
// kept of a port: a path of its own is itself (a relative one made absolute),
// a kernel's name lies in /dev, as Qt and the port list name ports. The name
// is taken exactly as given: a blank at its end is part of it. Empty for an
// empty name.
QString portPathOf(const QString &portName);
// The device a port name stands for: portPathOf() with its links followed to
// their end. Empty when no such file exists.
QString portDevicePath(const QString &portName);
