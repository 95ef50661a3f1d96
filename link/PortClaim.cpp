#include "link/PortClaim.h"

#include "link/PortScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <sys/file.h>

namespace {
// Where QSerialPort may keep its lock files, in the order it tries them.
const char *const LockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                   "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

// QSerialPort's lock file for `devicePath` ("LCK..pts_3" for /dev/pts/3), where one exists.
QString lockFileOf(const QString &devicePath)
{
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : LockFolders) {
        const QString path = QLatin1String(folder) + QStringLiteral("/LCK..") + name;
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

bool isRunning(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// The live process a lock file for `devicePath` names, this one included; 0 when none.
qint64 lockFileOwner(const QString &devicePath)
{
    const QString path = lockFileOf(devicePath);
    qint64 pid = 0;
    if (path.isEmpty() || !QLockFile(path).getLockInfo(&pid, nullptr, nullptr))
        return 0;
    return isRunning(pid) ? pid : 0;
}

// The processes other than this one with a descriptor on `devicePath`, as far
// as /proc lets this user see.
QSet<qint64> otherOpeners(const QString &devicePath)
{
    QSet<qint64> openers;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &process : processes) {
        bool isPid = false;
        const qint64 pid = process.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = descriptors.entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            if (QFile::symLinkTarget(descriptors.filePath(entry)) == devicePath) {
                openers.insert(pid);
                break;
            }
        }
    }
    return openers;
}

QString describeProcess(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return name.isEmpty() ? QString() : QStringLiteral("%1 (pid %2)").arg(name).arg(pid);
}

// QSerialPort refuses a port held by another program in two ways: its lock
// file names a live process, or the line is in exclusive mode (EBUSY). Both
// come out as a permission error, as does a device this user may not open.
bool refusedAsInUse(const QSerialPort &port, const QString &devicePath)
{
    if (port.error() != QSerialPort::PermissionError)
        return false;
    return port.errorString() == qt_error_string(EBUSY) || lockFileOwner(devicePath) > 0;
}
}

bool claimPort(QSerialPort &port, const QString &portName, QIODevice::OpenMode mode, PortRefusal &refusal)
{
    refusal = PortRefusal();
    const QString devicePath = portDevicePath(portName);
    // A name that stands for no file is left as given, for QSerialPort to report as missing.
    port.setPortName(devicePath.isEmpty() ? portName : devicePath);
    if (!port.open(mode)) {
        if (!devicePath.isEmpty() && refusedAsInUse(port, devicePath))
            refusal = PortRefusal::inUse(portHolder(devicePath));
        return false;
    }
    // Only a lock that another descriptor holds refuses the port: a device
    // without flock() support is still guarded by QSerialPort's lock file.
    if (::flock(int(port.handle()), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return true;
    // Closed as it was opened, without flushing: the line belongs to its holder.
    port.close();
    refusal = PortRefusal::inUse(portHolder(devicePath));
    return false;
}

QString portHolder(const QString &devicePath)
{
    // Only one other process can be named with confidence: a holder's child
    // may have inherited its descriptor.
    const QSet<qint64> openers = otherOpeners(devicePath);
    if (openers.size() == 1)
        return describeProcess(*openers.begin());
    const qint64 lockOwner = lockFileOwner(devicePath);
    if (lockOwner > 0 && lockOwner != QCoreApplication::applicationPid())
        return describeProcess(lockOwner);
    return QString();
}
