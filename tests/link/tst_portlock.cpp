// One program per port: a port is claimed as the device number it stands
// for, whatever name or node reaches it, and refused while another program
// holds it (an open descriptor, a locked one, a live lock file), over real
// pseudo-terminals and a real second process.
#include "link/PortClaim.h"
#include "support/PseudoTerminal.h"
#include "support/SerialLock.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

bool claim(QSerialPort &port, const QString &name, PortRefusal &refusal)
{
    return claimPort(port, name, QIODevice::ReadWrite, refusal);
}

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
}

class TestPortLock : public QObject
{
    Q_OBJECT

private slots:
    void secondOpenUnderAnyNameIsRefused_data();
    void secondOpenUnderAnyNameIsRefused();
    void holderIsNamedAndItsDeathFreesThePort_data();
    void holderIsNamedAndItsDeathFreesThePort();
};

void TestPortLock::secondOpenUnderAnyNameIsRefused_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("link, then device") << "link" << "device";
    QTest::newRow("device, then link") << "device" << "link";
    QTest::newRow("link twice") << "link" << "link";
    // Another inode of the same line: a lock on the descriptor alone would not see it.
    QTest::newRow("device, then a second node") << "device" << "node";
}

void TestPortLock::secondOpenUnderAnyNameIsRefused()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    if (second == QLatin1String("node") && ::geteuid() != 0)
        QSKIP("Only root may make a second device node");
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString firstName = nameOf(first, pty, dir);
    const QString secondName = second == first ? firstName : nameOf(second, pty, dir);
    if (secondName.isEmpty() && second == QLatin1String("node"))
        QSKIP("This system refuses root a device node here (no CAP_MKNOD)");
    QVERIFY(!firstName.isEmpty() && !secondName.isEmpty());

    QSerialPort firstPort;
    PortRefusal refusal;
    QVERIFY(claim(firstPort, firstName, refusal));
    QVERIFY(refusal.isNull());
    // Named after the kernel's device, the lock file is the one every other program looks for.
    QVERIFY(!serialLockFile(pty.slaveName()).isEmpty());

    QSerialPort secondPort;
    QVERIFY(!claim(secondPort, secondName, refusal));
    QVERIFY(!secondPort.isOpen());
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    QCOMPARE(refusal.en(), QStringLiteral("in use by another program"));   // the holder is this very process
    QCOMPARE(refusal.zh(), QStringLiteral("被其他程序占用"));
    QVERIFY(firstPort.isOpen());

    firstPort.close();
    QVERIFY(claim(secondPort, pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
}

void TestPortLock::holderIsNamedAndItsDeathFreesThePort_data()
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
void TestPortLock::holderIsNamedAndItsDeathFreesThePort()
{
    QFETCH(bool, opens);
    QFETCH(bool, flocks);
    QFETCH(bool, lockFile);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    pty.releaseLine();
    LineHolder holder(pty.slaveName(), opens, flocks);
    QVERIFY(holder.holds());
    const qint64 holderPid = holder.pid();
    const QString lock = lockFile ? writeUucpLock(pty.slaveName(), holderPid) : QString();
    if (lockFile && lock.isEmpty())
        QSKIP("No lock folder is writable for this user");

    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(!claim(port, pty.slaveName(), refusal));
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    const QString holderName = QStringLiteral("tst_portlock (pid %1)").arg(holderPid);
    QCOMPARE(refusal.en(), QStringLiteral("in use by another program: ") + holderName);
    QCOMPARE(refusal.zh(), QStringLiteral("被其他程序占用: ") + holderName);
    QVERIFY(!port.isOpen());
    QCOMPARE(serialLockFile(pty.slaveName()), lock);   // the holder's left alone, none left of the refused open
    QCOMPARE(pidInLock(lock), lockFile ? holderPid : 0);

    holder.kill();
    QVERIFY(claim(port, pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
    QVERIFY(pidInLock(serialLockFile(pty.slaveName())) != holderPid);
}

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_portlock.moc"
