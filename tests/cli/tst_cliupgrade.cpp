// tavoxctl upgrade, the real program against real simulated controllers and real files.
#include "support/CtlRun.h"
#include "support/SavedParams.h"
#include "support/SerialLock.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
QStringList snapshotsIn(const QTemporaryDir &dir)
{
    QStringList paths;
    for (const QString &name : QDir(dir.filePath(QStringLiteral("snapshots"))).entryList(QDir::Files))
        paths.append(dir.filePath(QStringLiteral("snapshots/") + name));
    return paths;
}
}

class TestCliUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void upgradeFailures_data();
    void upgradeFailures();
    void upgradeKeepsASnapshot_data();
    void upgradeKeepsASnapshot();
    void interruptedUpgradeLeavesBootloader();
};

void TestCliUpgrade::upgradeFailures_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("silent controller") << QStringList{"--fault-silent-after", "3"} << 5;
    QTest::newRow("verification fails") << QStringList{"--fault-verify", "md5"} << 6;
    QTest::newRow("size refused") << QStringList{"--fault-size-exceeded"} << 4;
    QTest::newRow("port hangs up") << QStringList{"--fault-hangup-after", "500"} << 3;
}

void TestCliUpgrade::upgradeFailures()
{
    QFETCH(QStringList, faults);
    QFETCH(int, exitCode);
    SimProcess sim(QStringList{"--hb-rate", "0", "--erase-ms", "0", "--baud", "115200"} + faults);
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, randomImage(64 * 1024)));
    const ProgramRun run = runOn(sim, {"upgrade", path});
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
}

void TestCliUpgrade::upgradeKeepsASnapshot_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("parameters reset") << QStringList{"--reset-params-on-upgrade"} << "changed";
    QTest::newRow("parameters kept") << QStringList{} << "same";
    // A controller that answers no read (one waiting in its bootloader) is upgraded all the same.
    QTest::newRow("no parameter block") << QStringList{"--fault-silent-params-after", "0"} << "unread";
}

// The camera position moved away from the firmware's default first, so that
// an upgrade that resets the parameters changes them.
void TestCliUpgrade::upgradeKeepsASnapshot()
{
    QFETCH(QStringList, simulator);
    QFETCH(QString, outcome);
    SimProcess sim(QStringList{"--hb-rate", "0", "--erase-ms", "0", "--reboot-ms", "100"} + simulator);
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const bool readable = outcome != QLatin1String("unread");
    const QString tuned = dir.filePath(QStringLiteral("tuned.json"));
    if (readable) {
        QVERIFY(saveWithFieldsRaised(sim, tuned, {"camera.position"}));
        QCOMPARE(runOn(sim, {"params", "load", tuned}).exitCode, 0);
    }
    const QString image = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(image, randomImage(8 * 1024)));

    const ProgramRun run = runCtl({"-p", sim.portName(), "upgrade", image}, englishEnvironment(), ctl);
    QVERIFY2(run.exitCode == 0 && run.err.contains(QLatin1String("Upgrade completed")), qPrintable(run.err));
    const QStringList snapshots = snapshotsIn(dir);
    QCOMPARE(snapshots.size(), readable ? 1 : 0);
    const QString snapshot = snapshots.value(0);
    if (readable) {
        QVERIFY2(run.err.contains(QStringLiteral("Parameters before the upgrade saved to ") + snapshot), qPrintable(run.err));
        QCOMPARE(jsonOf(QString::fromUtf8(readFile(snapshot))).value("params"),
                 jsonOf(QString::fromUtf8(readFile(tuned))).value("params"));
    }
    const QMap<QString, QString> said{
        {"changed", QStringLiteral("tavoxctl -p %1 -b 921600 params load %2").arg(sim.portName(), snapshot)},
        {"same", "The parameters are the same as before the upgrade"},
        {"unread", "no snapshot of its parameters was taken"}};
    for (auto message = said.cbegin(); message != said.cend(); ++message)
        QVERIFY2(run.err.contains(message.value()) == (message.key() == outcome), qPrintable(run.err));
}

void TestCliUpgrade::interruptedUpgradeLeavesBootloader()
{
    SimProcess sim({"--hb-rate", "0", "--erase-ms", "0", "--baud", "115200", "--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, randomImage(128 * 1024)));

    RunningCtl upgrade(tavoxctlProgram(), {"-p", sim.portName(), "upgrade", path});
    QVERIFY(upgrade.waitForMessage(QStringLiteral("upgrade: 10 %")));
    const QString lock = serialLockFile(sim.portName());
    upgrade.signal(SIGHUP);
    QCOMPARE(upgrade.finish(), 130);
    QVERIFY2(upgrade.messages().contains(QLatin1String("stays in its bootloader")), qPrintable(upgrade.messages()));
    QVERIFY(!sim.errorOutput().contains(QLatin1String("RX soft reset"))
            && !sim.errorOutput().contains(QLatin1String("RX stop upgrade")));
    QVERIFY(portReleased(lock, sim.portName()));
}

QTEST_GUILESS_MAIN(TestCliUpgrade)
#include "tst_cliupgrade.moc"
