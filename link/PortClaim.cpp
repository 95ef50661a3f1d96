#include "link/PortClaim.h"

#include "link/PortScanner.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSerialPort>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <memory>
#include <vector>

namespace {
// Where programs keep the UUCP lock files of serial lines (minicom, picocom,
// lockdev, QSerialPort), in the order QSerialPort tries them.
const char *const LockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                   "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};
// Where the claim on a device number is kept: the first that every user may
// write and where no user may remove another's files (sticky), so that every
// user and root meet in the same one.
const char *const ClaimFolders[] = {"/run/lock", "/var/lock", "/tmp"};
// A lock file is a pid and a line or two; more is no lock file.
const int LockFileBytes = 128;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool isRunning(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString describeProcess(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return name.isEmpty() ? QStringLiteral("pid %1").arg(pid) : QStringLiteral("%1 (pid %2)").arg(name).arg(pid);
}

// The names other programs give the line's lock file: after its path
// ("LCK..pts_3" for /dev/pts/3), after the kernel's name of the device
// number (a second node or a link is the same line) and, as lockdev does,
// after the device number itself ("LCK.004.064").
QStringList lockFilesOf(const QString &devicePath, dev_t device)
{
    QString pathName = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    pathName.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList names{QStringLiteral("LCK..") + pathName,
                      QString::asprintf("LCK.%03u.%03u", ::major(device), ::minor(device))};
    const QString sysfs = QStringLiteral("/sys/dev/char/%1:%2").arg(::major(device)).arg(::minor(device));
    const QString kernelName = QFileInfo(QFileInfo(sysfs).symLinkTarget()).fileName();
    if (!kernelName.isEmpty() && !names.contains(QStringLiteral("LCK..") + kernelName))
        names.append(QStringLiteral("LCK..") + kernelName);
    QStringList files;
    for (const char *folder : LockFolders) {
        for (const QString &name : names) {
            const QString path = QLatin1String(folder) + QLatin1Char('/') + name;
            struct stat info {};
            if (::lstat(encoded(path).constData(), &info) == 0)
                files.append(path);
        }
    }
    return files;
}

// The pid a lock file names, in ASCII as UUCP, minicom, lockdev and Qt write
// it; 0 when it names none. Never follows a link or waits on a pipe.
qint64 lockFilePid(const QString &path)
{
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat info {};
    char text[LockFileBytes + 1] = {};
    const ssize_t length = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::read(fd, text, LockFileBytes) : -1;
    ::close(fd);
    if (length <= 0)
        return 0;
    bool isNumber = false;
    const qint64 pid = QByteArray(text, int(length)).split('\n').first().trimmed().toLongLong(&isNumber);
    return isNumber ? pid : 0;
}

// The live processes other than this one that the line's lock files name.
QSet<qint64> lockOwners(const QStringList &lockFiles)
{
    QSet<qint64> owners;
    for (const QString &lock : lockFiles) {
        const qint64 pid = lockFilePid(lock);
        if (pid != QCoreApplication::applicationPid() && isRunning(pid))
            owners.insert(pid);
    }
    return owners;
}

// A lock file whose program lives refuses the line. One whose program has
// ended is removed before QSerialPort looks: it refuses a lock file it cannot
// remove in words of its own ("permission error while locking the device").
PortRefusal refusalOfLockFiles(const QStringList &lockFiles)
{
    for (const QString &lock : lockFiles) {
        const qint64 pid = lockFilePid(lock);
        if (pid <= 0 || pid == QCoreApplication::applicationPid())
            continue;
        if (isRunning(pid))
            return PortRefusal::inUse(describeProcess(pid));
        if (::unlink(encoded(lock).constData()) != 0 && errno != ENOENT)
            return PortRefusal::staleLock(lock);
    }
    return PortRefusal();
}

// The processes other than this one with a descriptor on the character device
// `device`, under whatever name they opened it, as far as /proc lets this user see.
QSet<qint64> otherOpeners(dev_t device)
{
    QSet<qint64> openers;
    const qint64 self = QCoreApplication::applicationPid();
    DIR *processes = ::opendir("/proc");
    if (!processes)
        return openers;
    while (const dirent *process = ::readdir(processes)) {
        bool isPid = false;
        const qint64 pid = QByteArray(process->d_name).toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        DIR *descriptors = ::opendir(QByteArray("/proc/" + QByteArray(process->d_name) + "/fd").constData());
        if (!descriptors)
            continue;
        while (const dirent *entry = ::readdir(descriptors)) {
            struct stat info {};
            if (entry->d_name[0] != '.' && ::fstatat(::dirfd(descriptors), entry->d_name, &info, 0) == 0
                && S_ISCHR(info.st_mode) && info.st_rdev == device) {
                openers.insert(pid);
                break;
            }
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return openers;
}

// Only one process can be named with confidence: a holder's child may have
// inherited its descriptor.
QString holderOf(dev_t device, const QStringList &lockFiles)
{
    const QSet<qint64> openers = otherOpeners(device);
    if (openers.size() == 1)
        return describeProcess(*openers.begin());
    const QSet<qint64> owners = lockOwners(lockFiles);
    return owners.size() == 1 ? describeProcess(*owners.begin()) : QString();
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
    if (::stat(encoded(path).constData(), &info) != 0)
        return QStringLiteral("dialout");
    const mode_t groupReadsAndWrites = S_IRGRP | S_IWGRP;
    if (info.st_gid == 0 || (info.st_mode & groupReadsAndWrites) != groupReadsAndWrites)
        return QString();
    return groupName(info.st_gid);
}

// The line said it was busy. Exclusive mode (TIOCEXCL) outlives the program
// that set it on a line that stays (a pseudo-terminal whose other side is
// still served): with no holder left, that is what refuses it.
PortRefusal busyRefusal(const QString &path)
{
    struct stat info {};
    if (::stat(encoded(path).constData(), &info) != 0)
        return PortRefusal::inUse(QString());
    const QStringList lockFiles = lockFilesOf(path, info.st_rdev);
    if (!otherOpeners(info.st_rdev).isEmpty() || !lockOwners(lockFiles).isEmpty())
        return PortRefusal::inUse(holderOf(info.st_rdev, lockFiles));
    return PortRefusal::exclusiveModeLeft();
}

// The one place where the system's error number on a port becomes the reason
// told to the operator.
PortRefusal refusalOf(int error, const QString &path)
{
    switch (error) {
    case EBUSY:
        return busyRefusal(path);
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

bool hasBlankEnd(const QString &name)
{
    return !name.isEmpty() && (name.front().isSpace() || name.back().isSpace());
}

// A name that leads nowhere is told as the path it was read as, where the
// name alone does not show that path; a bare name may have been meant for a
// file of the working folder.
PortRefusal missingDevice(const QString &portName, const QString &meant, int error)
{
    if (error != ENOENT && error != ENOTDIR)
        return refusalOf(error, meant);
    const QString shown = meant != portName ? meant
                          : hasBlankEnd(meant) ? QLatin1Char('"') + meant + QLatin1Char('"') : QString();
    struct stat local {};
    const bool fileHere = !isPortPath(portName) && ::lstat(encoded(portName).constData(), &local) == 0;
    return PortRefusal::noSuchDevice(shown, fileHere ? QStringLiteral("./") + portName : QString());
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

PortRefusal refusalOfFailedOpen(const QSerialPort &port, const QString &path)
{
    if (const int error = systemErrorOf(port))
        return refusalOf(error, path);
    return PortRefusal::systemError(port.errorString());
}

// This program's hold on a device number, whatever node or name it was
// reached by: an flock on a file named after the number, which binds root as
// well and which the kernel lets go of when its holder dies. It lasts as long
// as the port is open.
class DeviceNumberClaim : public QObject
{
public:
    enum class Outcome { Held, HeldByAnother, Unavailable };

    explicit DeviceNumberClaim(dev_t device) { m_outcome = take(device); }
    ~DeviceNumberClaim() override { release(); }
    DeviceNumberClaim(const DeviceNumberClaim &) = delete;
    DeviceNumberClaim &operator=(const DeviceNumberClaim &) = delete;

    Outcome outcome() const { return m_outcome; }

    // Kept by `port` until it closes.
    void handTo(QSerialPort &port)
    {
        setParent(&port);
        QObject::connect(&port, &QIODevice::aboutToClose, this, [this] {
            release();
            deleteLater();
        });
    }

private:
    Outcome take(dev_t device)
    {
        const QByteArray path = claimFile(device);
        if (path.isEmpty())
            return Outcome::Unavailable;
        m_fd = openClaimFile(path);
        if (m_fd < 0)
            return Outcome::Unavailable;
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return Outcome::Held;
        const bool heldByAnother = errno == EWOULDBLOCK;
        release();
        return heldByAnother ? Outcome::HeldByAnother : Outcome::Unavailable;
    }

    static QByteArray claimFile(dev_t device)
    {
        for (const char *folder : ClaimFolders) {
            struct stat info {};
            const mode_t everyoneWritesSticky = S_IWOTH | S_ISVTX;
            if (::stat(folder, &info) == 0 && S_ISDIR(info.st_mode)
                && (info.st_mode & everyoneWritesSticky) == everyoneWritesSticky)
                return QByteArray(folder) + "/tavox-line-" + QByteArray::number(::major(device)) + '-'
                    + QByteArray::number(::minor(device));
        }
        return QByteArray();
    }

    // Opened without O_CREAT where it exists: a sticky folder may refuse that
    // for another user's file (fs.protected_regular).
    static int openClaimFile(const QByteArray &path)
    {
        const int existingFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(path.constData(), existingFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::fchmod(fd, 0644);   // every user opens it to lock it, whatever the creator's umask
            else if (errno == EEXIST)
                fd = ::open(path.constData(), existingFlags);
        }
        struct stat info {};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    }

    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
    Outcome m_outcome = Outcome::Unavailable;
};

// Whether the kernel has a terminal driver for the character device `device`
// (/proc/tty/drivers: name, node, major, minors, type). A device no
// terminal, such as /dev/null, which every process has open, is no line to
// claim. Taken as one when the list cannot be read.
bool isTerminalLine(dev_t device)
{
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly))
        return true;
    const QList<QByteArray> lines = drivers.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields.at(2).toUInt() != ::major(device))
            continue;
        const QList<QByteArray> minors = fields.at(3).split('-');
        const unsigned first = minors.first().toUInt();
        if (::minor(device) >= first && ::minor(device) <= minors.last().toUInt())
            return true;
    }
    return false;
}

// Before anything opens the line: whether the name means a terminal line
// this user may open. QSerialPort would open a
// regular file or a pipe (a pipe without a writer too, since it opens without
// blocking) and only then find it no terminal, and it would set the line up
// under its holder before finding it busy.
PortRefusal refusalBeforeOpen(const QString &portName, const QString &path, struct stat &info)
{
    if (::stat(encoded(path).constData(), &info) != 0)
        return missingDevice(portName, portPathOf(portName), errno);
    if (!S_ISCHR(info.st_mode) || !isTerminalLine(info.st_rdev))
        return PortRefusal::notSerial();
    if (::access(encoded(path).constData(), R_OK | W_OK) != 0)
        return refusalOf(errno, path);
    return PortRefusal();
}

PortRefusal refusalOfOtherHolders(const QString &path, dev_t device)
{
    const QStringList lockFiles = lockFilesOf(path, device);
    const PortRefusal locked = refusalOfLockFiles(lockFiles);
    if (!locked.isNull())
        return locked;
    return otherOpeners(device).isEmpty() ? PortRefusal() : PortRefusal::inUse(holderOf(device, lockFiles));
}
}

bool claimPort(QSerialPort &port, const QString &portName, QIODevice::OpenMode mode, PortRefusal &refusal)
{
    if (portName.trimmed().isEmpty()) {
        refusal = PortRefusal::blankName();
        return false;
    }
    const QString devicePath = portDevicePath(portName);
    // A name that stands for no file is looked at as read, to tell why it cannot be reached.
    const QString path = devicePath.isEmpty() ? portPathOf(portName) : devicePath;
    struct stat info {};
    refusal = refusalBeforeOpen(portName, path, info);
    if (!refusal.isNull())
        return false;
    auto claim = std::make_unique<DeviceNumberClaim>(info.st_rdev);
    if (claim->outcome() == DeviceNumberClaim::Outcome::HeldByAnother) {
        refusal = PortRefusal::inUse(holderOf(info.st_rdev, lockFilesOf(path, info.st_rdev)));
        return false;
    }
    refusal = refusalOfOtherHolders(path, info.st_rdev);
    if (!refusal.isNull())
        return false;
    port.setPortName(path);
    if (!port.open(mode)) {
        refusal = refusalOfFailedOpen(port, path);
        return false;
    }
    // Programs that lock the descriptor alone are respected too; a device
    // without flock() support is still guarded by the claim above.
    if (::flock(int(port.handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        // Closed as it was opened, without flushing: the line belongs to its holder.
        port.close();
        refusal = PortRefusal::inUse(portHolder(path));
        return false;
    }
    claim.release()->handTo(port);
    return true;
}

QString portHolder(const QString &devicePath)
{
    struct stat info {};
    if (::stat(encoded(devicePath).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return QString();
    return holderOf(info.st_rdev, lockFilesOf(devicePath, info.st_rdev));
}
