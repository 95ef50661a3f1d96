// One program per port: a port is claimed under the device it stands for,
// whatever name it was given, and refused while another descriptor holds it,
// over real pseudo-terminals and a real second process.
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
#include <sys/wait.h>
#include <unistd.h>

namespace {
// A process that is no Qt program: it opens `device` and holds it with
// flock() alone, leaving no lock file, until it is killed.
class FlockHolder
{
public:
    explicit FlockHolder(const QString &device)
    {
        const QByteArray path = QFile::encodeName(device);
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
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
    ~FlockHolder() { kill(); }
    FlockHolder(const FlockHolder &) = delete;
    FlockHolder &operator=(const FlockHolder &) = delete;

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

// A process id that no process has now: a child's, once it has ended.
pid_t deadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

bool claim(QSerialPort &port, const QString &name, PortRefusal &refusal)
{
    return claimPort(port, name, QIODevice::ReadWrite, refusal);
}
}

class TestPortLock : public QObject
{
    Q_OBJECT

private slots:
    void secondOpenUnderAnyNameIsRefused_data();
    void secondOpenUnderAnyNameIsRefused();
    void holderWithoutLockFileIsNamedAndItsDeathFreesThePort();
    void lockFileOfADeadProgramDoesNotBlock();
    void refusalTextsInBothLanguages();
};

void TestPortLock::secondOpenUnderAnyNameIsRefused_data()
{
    QTest::addColumn<bool>("firstByLink");
    QTest::addColumn<bool>("secondByLink");
    QTest::newRow("link, then device") << true << false;
    QTest::newRow("device, then link") << false << true;
    QTest::newRow("link twice") << true << true;
}

void TestPortLock::secondOpenUnderAnyNameIsRefused()
{
    QFETCH(bool, firstByLink);
    QFETCH(bool, secondByLink);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString link = gimbalLink(dir.path(), pty.slaveName());
    QVERIFY(!link.isEmpty());

    QSerialPort first;
    PortRefusal refusal;
    QVERIFY(claim(first, firstByLink ? link : pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
    // Named after the kernel's device, the lock file is the one every other program looks for.
    QVERIFY(!serialLockFile(pty.slaveName()).isEmpty());

    QSerialPort second;
    QVERIFY(!claim(second, secondByLink ? link : pty.slaveName(), refusal));
    QVERIFY(!second.isOpen());
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    QCOMPARE(refusal.detail(), QString());   // the holder is this very process
    QVERIFY(first.isOpen());

    first.close();
    QVERIFY(claim(second, secondByLink ? link : pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
}

// Root opens a line whatever its lock file and exclusive mode say; only the
// descriptor's lock stops it, and the kernel drops that with its holder.
void TestPortLock::holderWithoutLockFileIsNamedAndItsDeathFreesThePort()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    FlockHolder holder(pty.slaveName());
    QVERIFY(holder.holds());

    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(!claim(port, pty.slaveName(), refusal));
    QCOMPARE(refusal.kind(), PortRefusal::Kind::InUse);
    QCOMPARE(refusal.detail(), QStringLiteral("tst_portlock (pid %1)").arg(holder.pid()));
    QVERIFY(!port.isOpen());
    QCOMPARE(serialLockFile(pty.slaveName()), QString());   // the refused open let go of its lock file too

    holder.kill();
    QVERIFY(claim(port, pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
}

// A program killed outright leaves QSerialPort's lock file behind: the same
// file, as this process's own open wrote it, with a pid that has ended.
void TestPortLock::lockFileOfADeadProgramDoesNotBlock()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(claim(port, pty.slaveName(), refusal));
    const QString lock = serialLockFile(pty.slaveName());
    if (lock.isEmpty())
        QSKIP("No lock folder is writable for this user, so QSerialPort keeps no lock file");
    QList<QByteArray> lines = readFile(lock).split('\n');
    port.close();
    QVERIFY(!QFile::exists(lock));

    const QByteArray deadOwner = QByteArray::number(deadPid());
    QVERIFY(lines.size() > 1 && lines.first() == QByteArray::number(QCoreApplication::applicationPid()));
    lines.first() = deadOwner;
    QVERIFY(writeFile(lock, lines.join('\n')));
    QVERIFY(claim(port, pty.slaveName(), refusal));
    QVERIFY(refusal.isNull());
    QVERIFY(!readFile(lock).startsWith(deadOwner + '\n'));
}

void TestPortLock::refusalTextsInBothLanguages()
{
    const PortRefusal named = PortRefusal::inUse(QStringLiteral("tavoxctl (pid 4242)"));
    QCOMPARE(named.en(), QStringLiteral("in use by another program: tavoxctl (pid 4242)"));
    QCOMPARE(named.zh(), QStringLiteral("被其他程序占用: tavoxctl (pid 4242)"));
    const PortRefusal unnamed = PortRefusal::inUse(QString());
    QCOMPARE(unnamed.en(), QStringLiteral("in use by another program"));
    QCOMPARE(unnamed.zh(), QStringLiteral("被其他程序占用"));
    QVERIFY(PortRefusal().isNull());
    QCOMPARE(PortRefusal().en(), QString());
}

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_portlock.moc"
