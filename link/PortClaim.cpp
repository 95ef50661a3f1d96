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
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace {
// The path QSerialPort opens for `portName`: a kernel name lives in /dev.
QString pathAsGiven(const QString &portName)
{
    const QString name = portName.trimmed();
    return isPortPath(name) ? name : QStringLiteral("/dev/") + name;
}

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

// The name of group `id`, or its number where it has none: usermod takes either.
QString groupName(gid_t id)
{
    group entry {};
    group *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(id);
}

// The group whose members may open `path`, for the remedy of a refused open.
// Serial lines belong to "dialout", which is named when the device cannot be
// looked at; no group is named when joining it would not help: the device
// gives its group no read and write access, or the group is root's.
QString groupThatMayOpen(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("dialout");
    const mode_t groupReadsAndWrites = S_IRGRP | S_IWGRP;
    if (info.st_gid == 0 || (info.st_mode & groupReadsAndWrites) != groupReadsAndWrites)
        return QString();
    return groupName(info.st_gid);
}

// The one place where the system's error number on a port becomes the reason told to the operator.
PortRefusal refusalOf(int error, const QString &path)
{
    switch (error) {
    case EBUSY:
        return PortRefusal::inUse(portHolder(path));
    case EACCES:
    case EPERM:
        return PortRefusal::permissionDenied(groupThatMayOpen(path));
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return PortRefusal::noSuchDevice();
    case ENOTTY:
        return PortRefusal::notSerial();
    }
    return PortRefusal::systemError(qt_error_string(error));
}

// A path that is not a character device is refused before anything opens it:
// QSerialPort would open a regular file or a pipe (a pipe without a writer
// too, since it opens without blocking) and only then find it no terminal.
PortRefusal refusalBeforeOpen(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return refusalOf(errno, path);
    return S_ISCHR(info.st_mode) ? PortRefusal() : PortRefusal::notSerial();
}

// QSerialPort keeps no error number, only the system's text for it.
int systemErrorOf(const QSerialPort &port)
{
    for (int error : {EBUSY, EACCES, EPERM, ENOENT, ENOTDIR, ENODEV, ENXIO, ENOTTY}) {
        if (port.errorString() == qt_error_string(error))
            return error;
    }
    return 0;
}

// Besides the system's refusals, QSerialPort refuses a port whose lock file
// names another live process, in words of its own.
PortRefusal refusalOfFailedOpen(const QSerialPort &port, const QString &path)
{
    if (const int error = systemErrorOf(port))
        return refusalOf(error, path);
    if (port.error() == QSerialPort::PermissionError && lockFileOwner(path) > 0)
        return PortRefusal::inUse(portHolder(path));
    return PortRefusal::systemError(port.errorString());
}
}

bool claimPort(QSerialPort &port, const QString &portName, QIODevice::OpenMode mode, PortRefusal &refusal)
{
    const QString devicePath = portDevicePath(portName);
    // A name that stands for no file is looked at as given, to tell why it cannot be reached.
    const QString path = devicePath.isEmpty() ? pathAsGiven(portName) : devicePath;
    refusal = refusalBeforeOpen(path);
    if (!refusal.isNull())
        return false;
    port.setPortName(path);
    if (!port.open(mode)) {
        refusal = refusalOfFailedOpen(port, path);
        return false;
    }
    // Only a lock that another descriptor holds refuses the port: a device
    // without flock() support is still guarded by QSerialPort's lock file.
    if (::flock(int(port.handle()), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return true;
    // Closed as it was opened, without flushing: the line belongs to its holder.
    port.close();
    refusal = PortRefusal::inUse(portHolder(path));
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
