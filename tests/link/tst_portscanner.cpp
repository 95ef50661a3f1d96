#include "link/PortScanner.h"
#include "link/PortWatcher.h"
#include "support/PseudoTerminal.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Which ports the system offers and under what names, and how the list is
// followed as ports come and go.
class PortScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void adaptersGoByTheirStableNames();
    void extraPortsAreParsed_data();
    void extraPortsAreParsed();
    void extraPathsAreListedWhileTheyExist();
    void namesResolveToTheirDevice();
    void watcherTellsOnlyOfChanges();
    void watcherScansOnlyWhenThePlacesChange();
};

namespace {
PortEntry systemPort(const QString &kernelName, const QString &devicePath, const QString &serial = QString())
{
    return {kernelName, kernelName, QStringLiteral("USB UART"), QStringLiteral("FTDI"), serial, devicePath};
}
}

void PortScannerTest::adaptersGoByTheirStableNames()
{
    PseudoTerminal adapter;
    PseudoTerminal onboard;
    QTemporaryDir byId;
    const QString stable = byId.filePath(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(QFile::link(adapter.slaveName(), stable));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), byId.filePath(QStringLiteral("usb-gone-if00"))));

    PortScanPlaces places;
    places.byIdFolder = byId.path();
    const PortEntry usb = systemPort(QStringLiteral("ttyUSB0"), adapter.slaveName(), QStringLiteral("A50285BI"));
    const PortEntry serial = systemPort(QStringLiteral("ttyS0"), onboard.slaveName());
    PortEntry byStableName = usb;
    byStableName.path = stable;
    const QVector<PortEntry> ports = scanPorts(places, {usb, serial});
    QVERIFY(ports == QVector<PortEntry>({byStableName, serial}));
    QCOMPARE(ports[0].displayName(), QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QCOMPARE(ports[1].displayName(), QStringLiteral("ttyS0"));
}

void PortScannerTest::extraPortsAreParsed_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("unset") << QString() << QStringList();
    QTest::newRow("one") << QStringLiteral("/dev/pts/3") << QStringList { "/dev/pts/3" };
    QTest::newRow("blanks, empties, duplicates")
        << QStringLiteral(" /tmp/sim , ,/dev/pts/4,,/tmp/sim ") << QStringList { "/tmp/sim", "/dev/pts/4" };
    QTest::newRow("only separators") << QStringLiteral(" , ,, ") << QStringList();
}

void PortScannerTest::extraPortsAreParsed()
{
    QFETCH(QString, value);
    QFETCH(QStringList, names);
    QCOMPARE(parseExtraPorts(value), names);
}

void PortScannerTest::extraPathsAreListedWhileTheyExist()
{
    PseudoTerminal simulator;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    PortScanPlaces places;
    places.byIdFolder = dir.filePath(QStringLiteral("no-by-id"));
    places.extraPorts = QStringList { link, QStringLiteral("ttyVIRT0"), dir.filePath(QStringLiteral("missing")) };

    QVector<PortEntry> ports = scanPorts(places, {systemPort(QStringLiteral("ttyS0"), QStringLiteral("/dev/ttyS0"))});
    QCOMPARE(ports.size(), 2);
    QCOMPARE(ports[0].path, QStringLiteral("ttyVIRT0"));   // a bare name cannot be checked; it stays
    QCOMPARE(ports[1].path, QStringLiteral("ttyS0"));

    QVERIFY(QFile::link(simulator.slaveName(), link));
    ports = scanPorts(places, {});
    QCOMPARE(ports.size(), 2);
    QCOMPARE(ports[0].path, link);
    QCOMPARE(ports[0].displayName(), link);
}

void PortScannerTest::namesResolveToTheirDevice()
{
    PseudoTerminal terminal;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    const QString chained = dir.filePath(QStringLiteral("chained"));
    QVERIFY(QFile::link(terminal.slaveName(), link) && QFile::link(link, chained));
    QCOMPARE(portDevicePath(chained), terminal.slaveName());
    QCOMPARE(portDevicePath(terminal.slaveName().mid(5)), terminal.slaveName());   // "pts/N"
    QVERIFY(portDevicePath(dir.filePath(QStringLiteral("missing"))).isEmpty());

    // A bare name lies in /dev whatever the working folder holds; ./ and ../ are of the working folder.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(portPathOf(QStringLiteral("gimbal")), QStringLiteral("/dev/gimbal"));
    QCOMPARE(portDevicePath(QStringLiteral("./gimbal")), terminal.slaveName());
    QCOMPARE(portPathOf(QStringLiteral("../x/gimbal")), QFileInfo(QDir::currentPath()).path() + QStringLiteral("/x/gimbal"));
    QVERIFY(QDir::setCurrent(before));
}

void PortScannerTest::watcherTellsOnlyOfChanges()
{
    QVector<PortEntry> system{systemPort(QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"))};
    int scans = 0;
    PortWatcher watcher([&] { ++scans; return system; });
    QSignalSpy changed(&watcher, &PortWatcher::portsChanged);
    QCOMPARE(watcher.ports(), system);
    watcher.rescan();
    QCOMPARE(changed.count(), 0);

    system.append(systemPort(QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0")));
    QVERIFY(changed.wait(PortWatcher::ScanIntervalMs * 10));   // found by itself, no rescan asked
    QCOMPARE(watcher.ports(), system);
    const int scansBefore = scans;
    system.first().description = QStringLiteral("CP2102");     // the same port with new details is news too
    watcher.rescan();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(scans, scansBefore + 1);
}

void PortScannerTest::watcherScansOnlyWhenThePlacesChange()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    qputenv("TAVOX_EXTRA_PORTS", QFile::encodeName(link));
    const QByteArray before = PortWatcher::systemFingerprint();
    PseudoTerminal simulator;
    QVERIFY(QFile::link(simulator.slaveName(), link));
    QVERIFY(PortWatcher::systemFingerprint() != before);   // the simulator's link appeared
    qunsetenv("TAVOX_EXTRA_PORTS");

    QByteArray print = "quiet";
    QVector<PortEntry> system;
    int scans = 0;
    PortWatcher watcher([&] { ++scans; return system; }, [&print] { return print; });
    QSignalSpy changed(&watcher, &PortWatcher::portsChanged);
    system.append(systemPort(QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0")));
    QVERIFY(runTimersDueWithin(PortWatcher::ScanIntervalMs * 3));
    QCOMPARE(scans, 1);   // only the first, at construction
    QCOMPARE(changed.count(), 0);
    print = "a device node came";
    QVERIFY(changed.wait(PortWatcher::ScanIntervalMs * 10));
    QCOMPARE(watcher.ports(), system);
}

QTEST_GUILESS_MAIN(PortScannerTest)

#include "tst_portscanner.moc"
