// Why a port is refused, as the system has it: real paths of every kind that
// is no serial line, a pseudo-terminal the system will not yet open, and a
// device this user may not open, each with its reason in both languages.
#include "link/PortClaim.h"
#include "support/ChildProcess.h"
#include "support/PseudoTerminal.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(PortRefusal::Kind)

namespace {
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

// The path of `place`, made in `dir` where it is a file of its own.
QString makePlace(const QString &place, const QTemporaryDir &dir, const LockedTerminal &locked)
{
    const QString path = dir.filePath(QStringLiteral("port"));
    if (place == QLatin1String("missing path"))
        return path;
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

bool claim(QSerialPort &port, const QString &name, PortRefusal &refusal)
{
    return claimPort(port, name, QIODevice::ReadWrite, refusal);
}
}

class TestPortRefusal : public QObject
{
    Q_OBJECT

private slots:
    void refusedPathsSayWhy_data();
    void refusedPathsSayWhy();
    void deviceOfOthersNamesTheGroupToJoin_data();
    void deviceOfOthersNamesTheGroupToJoin();
};

void TestPortRefusal::refusedPathsSayWhy_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<PortRefusal::Kind>("kind");
    QTest::addColumn<QString>("en");
    QTest::addColumn<QString>("zh");
    // Anything but a character device is refused before QSerialPort opens it.
    QTest::addColumn<bool>("opened");

    const auto noSuchDevice = [](const char *place) {
        QTest::newRow(place) << place << PortRefusal::Kind::NoSuchDevice << "no such device"
                             << QStringLiteral("设备不存在") << false;
    };
    noSuchDevice("missing path");
    noSuchDevice("missing kernel name");
    noSuchDevice("adapter gone from its link");
    noSuchDevice("path under a file");
    const auto notSerial = [](const char *place, bool opened) {
        QTest::newRow(place) << place << PortRefusal::Kind::NotSerial << "not a serial device"
                             << QStringLiteral("不是串口设备") << opened;
    };
    notSerial("regular file", false);
    notSerial("folder", false);
    notSerial("pipe without a writer", false);
    notSerial("/dev/null", true);   // a character device, found to be no terminal once open
    QTest::newRow("locked pseudo-terminal") << "locked pseudo-terminal" << PortRefusal::Kind::SystemError
                                            << "input/output error" << "input/output error" << true;
}

void TestPortRefusal::refusedPathsSayWhy()
{
    QFETCH(QString, place);
    QFETCH(PortRefusal::Kind, kind);
    QFETCH(QString, en);
    QFETCH(QString, zh);
    QFETCH(bool, opened);
    QTemporaryDir dir;
    LockedTerminal locked;
    const QString path = makePlace(place, dir, locked);
    QVERIFY(!path.isEmpty());

    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(!claim(port, path, refusal));
    QVERIFY(!port.isOpen());
    QCOMPARE(refusal.kind(), kind);
    QCOMPARE(refusal.en(), en);
    QCOMPARE(refusal.zh(), zh);
    QCOMPARE(port.error() != QSerialPort::NoError, opened);
}

// Root opens any device, so the claim is made by the unprivileged user in a child of the test.
void TestPortRefusal::deviceOfOthersNamesTheGroupToJoin_data()
{
    QTest::addColumn<bool>("groupMayOpen");
    QTest::newRow("its group may open it") << true;
    QTest::newRow("only its owner may open it") << false;
}

void TestPortRefusal::deviceOfOthersNamesTheGroupToJoin()
{
    QFETCH(bool, groupMayOpen);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(shutOutUnprivileged(pty.slaveName(), groupMayOpen));

    const ChildRun run = runInChild([&pty] {
        if (!becomeUnprivileged())
            ::_exit(2);
        QSerialPort port;
        PortRefusal refusal;
        if (claim(port, pty.slaveName(), refusal))
            ::_exit(3);
        std::printf("%d\n%s\n%s\n", int(refusal.kind()), refusal.en().toUtf8().constData(),
                    refusal.zh().toUtf8().constData());
    });
    QVERIFY2(run.succeeded(), run.errors.constData());
    const QStringList lines = QString::fromUtf8(run.output).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0).toInt(), int(PortRefusal::Kind::PermissionDenied));
    if (!groupMayOpen) {
        QCOMPARE(lines.at(1), QStringLiteral("permission denied"));
        QCOMPARE(lines.at(2), QStringLiteral("权限不足"));
        return;
    }
    const QString group = groupOf(pty.slaveName());
    QVERIFY(!group.isEmpty());
    QCOMPARE(lines.at(1), QStringLiteral("permission denied: add yourself to the group %1 with sudo usermod -aG %1 $USER, "
                                         "then log in again").arg(group));
    QCOMPARE(lines.at(2),
             QStringLiteral("权限不足: 请用 sudo usermod -aG %1 $USER 将当前用户加入 %1 组，然后重新登录").arg(group));
}

QTEST_GUILESS_MAIN(TestPortRefusal)
#include "tst_portrefusal.moc"
