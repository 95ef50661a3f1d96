// Claiming a port, over real pseudo-terminals, real paths of every kind and real second processes.
#include "link/PortClaim.h"
#include "support/ChildProcess.h"
#include "support/PseudoTerminal.h"
#include "support/SerialLock.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(PortRefusal::Kind)

namespace {
// A process that is no Qt program, holding `device` as other programs do:
// opened, with or without flock() on the descriptor, or not opened at all
// (a lock file names it), until it is killed.
class LineHolder
{
public:
    LineHolder(const QString &device, bool opens, bool flocks)
    {
        const QByteArray path = QFile::encodeName(device);
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            const int fd = opens ? ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) : 0;
            const char held = fd >= 0 && (!flocks || ::flock(fd, LOCK_EX) == 0) ? 1 : 0;
            (void)!::write(ready[1], &held, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        pollfd answer{ready[0], POLLIN, 0};
        char held = 0;
        m_holds = m_pid > 0 && ::poll(&answer, 1, ProcessWaitMs) == 1 && ::read(ready[0], &held, 1) == 1 && held;
        ::close(ready[0]);
    }
    ~LineHolder() { kill(); }
    LineHolder(const LineHolder &) = delete;
    LineHolder &operator=(const LineHolder &) = delete;

    bool holds() const { return m_holds; }
    qint64 pid() const { return m_pid; }

    void kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    bool m_holds = false;
};

// `how` the test names the line: "device" (its path), "link" (a link to it)
// or "node" (a second device node of its number, made as root only).
QString nameOf(const QString &how, const PseudoTerminal &pty, const QTemporaryDir &dir)
{
    if (how == QLatin1String("link"))
        return gimbalLink(dir.path(), pty.slaveName());
    if (how == QLatin1String("node")) {
        struct stat device {};
        const QString node = dir.filePath(QStringLiteral("node"));
        const bool made = ::stat(QFile::encodeName(pty.slaveName()).constData(), &device) == 0
            && ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, device.st_rdev) == 0;
        return made ? node : QString();
    }
    return pty.slaveName();
}

// A pseudo-terminal whose other side was never unlocked: the device is there,
// and opening it fails with an error of the system's that has no reason of ours.
class LockedTerminal
{
public:
    LockedTerminal() : m_master(::posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && ::grantpt(m_master) == 0)
            m_device = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~LockedTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    LockedTerminal(const LockedTerminal &) = delete;
    LockedTerminal &operator=(const LockedTerminal &) = delete;

    QString device() const { return m_device; }

private:
    int m_master = -1;
    QString m_device;
};

// The name of `place`, made in `dir` (the working folder) where it is a file of its own.
QString makePlace(const QString &place, const QTemporaryDir &dir, const LockedTerminal &locked,
                  const PseudoTerminal &line)
{
    const QString path = dir.filePath(QStringLiteral("port"));
    if (place == QLatin1String("missing path"))
        return path;
    if (place == QLatin1String("blanks"))
        return QStringLiteral("   ");
    if (place == QLatin1String("bare name of a file here"))
        return writeFile(dir.filePath(QStringLiteral("g1")), "x") ? QStringLiteral("g1") : QString();
    if (place == QLatin1String("file here by ./"))
        return writeFile(dir.filePath(QStringLiteral("g1")), "x") ? QStringLiteral("./g1") : QString();
    // A blank or a line break after a link's name names no link: the line behind it is never opened.
    if (place == QLatin1String("link with a trailing blank"))
        return gimbalLink(dir.path(), line.slaveName()) + QLatin1Char(' ');
    if (place == QLatin1String("link with a trailing line break"))
        return gimbalLink(dir.path(), line.slaveName()) + QLatin1Char('\n');
    if (place == QLatin1String("missing kernel name"))
        return QStringLiteral("ttyTAVOXMISSING0");
    if (place == QLatin1String("adapter gone from its link"))
        return gimbalLink(dir.path(), path);
    if (place == QLatin1String("path under a file"))
        return writeFile(path, "x") ? path + QStringLiteral("/tty") : QString();
    if (place == QLatin1String("regular file"))
        return writeFile(path, "not a line") ? path : QString();
    if (place == QLatin1String("folder"))
        return dir.path();
    if (place == QLatin1String("/dev/null"))
        return place;
    if (place == QLatin1String("pipe without a writer"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0 ? path : QString();
    if (place == QLatin1String("locked pseudo-terminal"))
        return locked.device();
    return QString();
}

class WorkingFolder
{
public:
    explicit WorkingFolder(const QString &path) : m_before(QDir::currentPath()) { QDir::setCurrent(path); }
    ~WorkingFolder() { QDir::setCurrent(m_before); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

private:
    QString m_before;
};
}

class TestPortClaim : public QObject
{
    Q_OBJECT

private slots:
    void secondOpenUnderAnyNameIsRefused_data();
    void secondOpenUnderAnyNameIsRefused();
    void holderIsNamedAndItsDeathFreesThePort_data();
    void holderIsNamedAndItsDeathFreesThePort();
    void refusedPathsSayWhy_data();
    void refusedPathsSayWhy();
    void refusedToAnOrdinaryUser_data();
    void refusedToAnOrdinaryUser();
};

void TestPortClaim::secondOpenUnderAnyNameIsRefused_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("link, then device") << "link" << "device";
    QTest::newRow("device, then link") << "device" << "link";
    // Another inode of the same line: a lock on the descriptor alone would not see it.
    QTest::newRow("device, then a second node") << "device" << "node";
}

void TestPortClaim::secondOpenUnderAnyNameIsRefused()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    if (second == QLatin1String("node") && ::geteuid() != 0)
        QSKIP("Only root may make a second device node");
    PseudoTerminal pty;
    QTemporaryDir dir;
    const QString firstName = nameOf(first, pty, dir);
    const QString secondName = nameOf(second, pty, dir);
    if (secondName.isEmpty() && second == QLatin1String("node"))
        QSKIP("This system refuses root a device node here (no CAP_MKNOD)");
    QVERIFY(!firstName.isEmpty() && !secondName.isEmpty());

    QSerialPort firstPort;
    PortRefusal refusal;
    QVERIFY(claimPort(firstPort, firstName, QIODevice::ReadWrite, refusal));
    QVERIFY(refusal.isNull());
    // Named after the kernel's device, the lock file is the one every other program looks for.
    QVERIFY(!serialLockFile(pty.slaveName()).isEmpty());

    QSerialPort secondPort;
    QVERIFY(!claimPort(secondPort, secondName, QIODevice::ReadWrite, refusal));
    QVERIFY(!secondPort.isOpen());
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    QCOMPARE(refusal.en(), QStringLiteral("in use by another program"));   // the holder is this very process
    QCOMPARE(refusal.zh(), QStringLiteral("被其他程序占用"));
    QVERIFY(firstPort.isOpen());

    firstPort.close();
    QVERIFY(claimPort(secondPort, pty.slaveName(), QIODevice::ReadWrite, refusal));
    QVERIFY(refusal.isNull());
}

void TestPortClaim::holderIsNamedAndItsDeathFreesThePort_data()
{
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("flocks");
    QTest::addColumn<bool>("lockFile");
    // Root opens a line whatever its lock file and exclusive mode say; the
    // descriptor's lock stops it, and the kernel drops that with its holder.
    QTest::newRow("descriptor locked, no lock file") << true << true << false;
    QTest::newRow("open with a lock file, as minicom") << true << false << true;
    QTest::newRow("open alone") << true << false << false;
    QTest::newRow("lock file alone") << false << false << true;
}

// A lock file whose program has ended (killed outright, it could not remove
// it) never blocks, and goes.
void TestPortClaim::holderIsNamedAndItsDeathFreesThePort()
{
    QFETCH(bool, opens);
    QFETCH(bool, flocks);
    QFETCH(bool, lockFile);
    PseudoTerminal pty;
    pty.releaseLine();
    LineHolder holder(pty.slaveName(), opens, flocks);
    QVERIFY(holder.holds());
    const qint64 holderPid = holder.pid();
    const QString lock = lockFile ? writeUucpLock(pty.slaveName(), holderPid) : QString();
    if (lockFile && lock.isEmpty())
        QSKIP("No lock folder is writable for this user");

    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(!claimPort(port, pty.slaveName(), QIODevice::ReadWrite, refusal));
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    const QString holderName = QStringLiteral("tst_portclaim (pid %1)").arg(holderPid);
    QCOMPARE(refusal.en(), QStringLiteral("in use by another program: ") + holderName);
    QCOMPARE(refusal.zh(), QStringLiteral("被其他程序占用: ") + holderName);
    QVERIFY(!port.isOpen());
    QCOMPARE(serialLockFile(pty.slaveName()), lock);   // the holder's left alone, none left of the refused open
    QCOMPARE(pidInLock(lock), lockFile ? holderPid : 0);

    holder.kill();
    QVERIFY(claimPort(port, pty.slaveName(), QIODevice::ReadWrite, refusal));
    QVERIFY(refusal.isNull());
    QVERIFY(pidInLock(serialLockFile(pty.slaveName())) != holderPid);
}

void TestPortClaim::refusedPathsSayWhy_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<PortRefusal::Kind>("kind");
    // %1: the name as given.
    QTest::addColumn<QString>("en");
    QTest::addColumn<QString>("zh");

    const auto noSuchDevice = [](const char *place, const QString &en = QStringLiteral("no such device"),
                                 const QString &zh = QStringLiteral("设备不存在")) {
        QTest::newRow(place) << place << PortRefusal::Kind::NoSuchDevice << en << zh;
    };
    for (const char *place : {"missing path", "adapter gone from its link", "path under a file"})
        noSuchDevice(place);
    noSuchDevice("missing kernel name", "no such device /dev/ttyTAVOXMISSING0", "设备 /dev/ttyTAVOXMISSING0 不存在");
    noSuchDevice("bare name of a file here", "no such device /dev/g1 (./g1 names the file in the working folder)",
                 "设备 /dev/g1 不存在 (当前目录中的文件应写作 ./g1)");
    noSuchDevice("link with a trailing blank", "no such device \"%1\"", "设备 \"%1\" 不存在");
    noSuchDevice("link with a trailing line break", "no such device \"%1\"", "设备 \"%1\" 不存在");
    QTest::newRow("blanks") << "blanks" << PortRefusal::Kind::BlankName
                            << "no port name given (the name is empty or blanks alone)"
                            << QStringLiteral("未给出串口名 (名称为空或只有空白)");
    for (const char *place : {"regular file", "file here by ./", "folder", "pipe without a writer", "/dev/null"})
        QTest::newRow(place) << place << PortRefusal::Kind::NotSerial << "not a serial device" << QStringLiteral("不是串口设备");
    QTest::newRow("locked pseudo-terminal") << "locked pseudo-terminal" << PortRefusal::Kind::SystemError
                                            << "input/output error" << "input/output error";
}

// Anything but a terminal line is refused before QSerialPort opens it; /dev/null
// is a character device the kernel has no terminal driver for.
void TestPortClaim::refusedPathsSayWhy()
{
    QFETCH(QString, place);
    QFETCH(PortRefusal::Kind, kind);
    QFETCH(QString, en);
    QFETCH(QString, zh);
    QTemporaryDir dir;
    WorkingFolder here(dir.path());
    LockedTerminal locked;
    PseudoTerminal line;
    const QString name = makePlace(place, dir, locked, line);
    QVERIFY(!name.isEmpty());

    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(!claimPort(port, name, QIODevice::ReadWrite, refusal));
    QVERIFY(!port.isOpen());
    QCOMPARE(refusal.kind(), kind);
    QCOMPARE(refusal.en(), en.contains(QLatin1String("%1")) ? en.arg(name) : en);
    QCOMPARE(refusal.zh(), zh.contains(QLatin1String("%1")) ? zh.arg(name) : zh);
    QCOMPARE(port.error() != QSerialPort::NoError, kind == PortRefusal::Kind::SystemError);
}


namespace {
// Root opens any device, so a claim that must be refused is made by the
// unprivileged user in a child, which prints the refusal's kind, English and Chinese.
ChildRun claimedUnprivileged(const QString &path)
{
    return runInChild([&path] {
        if (!becomeUnprivileged())
            ::_exit(2);
        QSerialPort port;
        PortRefusal refusal;
        if (claimPort(port, path, QIODevice::ReadWrite, refusal))
            ::_exit(3);
        std::printf("%d\n%s\n%s\n", int(refusal.kind()), refusal.en().toUtf8().constData(),
                    refusal.zh().toUtf8().constData());
    });
}
}

// Refusals that root never meets: a device of others, exclusive mode (TIOCEXCL), which stays on a line that
// outlives the program that set it, and a lock file left behind a program killed outright. The claim is
// made by the unprivileged user in a child; %1 stands for the group to join or the lock file left.
void TestPortClaim::refusedToAnOrdinaryUser_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<PortRefusal::Kind>("kind");
    QTest::addColumn<QString>("en");
    QTest::addColumn<QString>("zh");
    QTest::newRow("its group may open it")
        << "group" << PortRefusal::Kind::PermissionDenied
        << "permission denied: add yourself to the group %1 with sudo usermod -aG %1 $USER, then log in again"
        << QStringLiteral("权限不足: 请用 sudo usermod -aG %1 $USER 将当前用户加入 %1 组，然后重新登录");
    QTest::newRow("only its owner may open it") << "owner" << PortRefusal::Kind::PermissionDenied
                                                << "permission denied" << QStringLiteral("权限不足");
    QTest::newRow("exclusive mode left set")
        << "exclusive mode" << PortRefusal::Kind::ExclusiveMode
        << "the line is still in exclusive mode (TIOCEXCL), left so by a program that has ended: unplug the adapter "
           "and plug it in again (for a pseudo-terminal, restart the program that serves it)"
        << QStringLiteral("串口仍处于独占模式 (TIOCEXCL)，由已结束的程序留下: 请拔出并重新插入适配器 (伪终端则需重新启动提供它的程序)");
    QTest::newRow("root's lock file, its program ended")
        << "lock file" << PortRefusal::Kind::StaleLock
        << "the lock file %1 of a program that has ended belongs to another user, who alone may remove it: "
           "remove it with sudo rm %1"
        << QStringLiteral("已结束的程序留下的锁文件 %1 属于其他用户，当前用户无法删除: 请用 sudo rm %1 删除");
}

void TestPortClaim::refusedToAnOrdinaryUser()
{
    QFETCH(QString, left);
    QFETCH(PortRefusal::Kind, kind);
    QFETCH(QString, en);
    QFETCH(QString, zh);
    if (left == "lock file" && ::geteuid() != 0)
        QSKIP("Only root leaves a lock file another user may not remove");
    PseudoTerminal pty;
    const QByteArray device = QFile::encodeName(pty.slaveName());
    QString detail;
    if (left == "group" || left == "owner") {
        QVERIFY(shutOutUnprivileged(pty.slaveName(), left == "group"));
        detail = groupOf(pty.slaveName());
    } else {
        pty.releaseLine();
        QVERIFY(::chmod(device.constData(), 0666) == 0);
    }
    if (left == "exclusive mode") {
        const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0);
        ::close(fd);
    } else if (left == "lock file") {
        detail = writeUucpLock(pty.slaveName(), endedProcessId());
        QVERIFY(!detail.isEmpty());
    }

    const ChildRun run = claimedUnprivileged(pty.slaveName());
    const bool lockStayed = left != "lock file" || (QFile::exists(detail) && QFile::remove(detail));
    QVERIFY2(run.succeeded(), run.errors.constData());
    QVERIFY(lockStayed);
    QCOMPARE(QString::fromUtf8(run.output).split(QLatin1Char('\n')),
             (QStringList { QString::number(int(kind)), en.contains("%1") ? en.arg(detail) : en,
                            zh.contains("%1") ? zh.arg(detail) : zh, QString() }));
}

QTEST_GUILESS_MAIN(TestPortClaim)
#include "tst_portclaim.moc"
