// What the window tells about the link and the controller's motion, and the
// archive a service engineer gets: the real bridge against the simulated
// controller, the archive opened with unzip.
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "bridge/DiagnosticsExport.h"
#include "bridge/DisplayRhythm.h"
#include "bridge/LinkHealth.h"
#include "bridge/LinkMonitor.h"
#include "bridge/TelemetryHistory.h"
#include "device/ParamFile.h"
#include "support/BridgeTestUtils.h"
#include "support/ProgramRun.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;
}

class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { removeConfigFile(); }
    void linkFiguresCountInjectedNoise();
    void linkLostWhenHeartbeatsStopAgreesWithTheWindow();
    void linkFiguresChangeInTheWindowsRhythmAndWithoutIt();
    void historyRecordsHeartbeatsAndStopsWhenPaused();
    void archiveHoldsLogsParametersVersionsAndConfiguration();
    void archiveThatCannotBeWrittenIsReported();
};

void TestDiagnostics::linkFiguresCountInjectedNoise()
{
    SimProcess sim({QStringLiteral("--noise-rate"), QStringLiteral("0.05")});
    QVERIFY(sim.start());
    AppBridge bridge;
    LinkHealth health(bridge, true);
    QVERIFY(!health.portOpen());
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QVERIFY(health.portOpen());

    QTRY_VERIFY_WITH_TIMEOUT(health.resyncBytes() > 0 && health.framesPerSecond() > 0, 5000);
    QVERIFY(health.bytesPerSecond() > health.framesPerSecond());
    QVERIFY(!health.linkLost());
    QVERIFY(health.sinceHeartbeatMs() >= 0 && health.sinceHeartbeatMs() < LinkHealth::LostAfterMs);
    // The figures are the receive path's own counters.
    const LinkFigures &sampled = health.sample();
    QCOMPARE(sampled.total.resyncBytes, bridge.receiveStatistics().resyncBytes);
    QCOMPARE(sampled.total.crcFailures + sampled.total.headerSumFailures,
             bridge.receiveStatistics().crcFailures + bridge.receiveStatistics().headerSumFailures);

    bridge.closeSerial();
    QVERIFY(!health.portOpen());
    QCOMPARE(health.sinceHeartbeatMs(), -1.0);
}

void TestDiagnostics::linkLostWhenHeartbeatsStopAgreesWithTheWindow()
{
    SimProcess sim({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("2500:3000")});
    QVERIFY(sim.start());
    AppBridge bridge;
    LinkHealth health(bridge, true);
    LinkMonitor monitor(bridge);
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_VERIFY_WITH_TIMEOUT(monitor.state() == LinkMonitor::Connected, 5000);
    QVERIFY(!health.linkLost());

    QTRY_VERIFY_WITH_TIMEOUT(health.linkLost(), 6000);
    QVERIFY(health.sinceHeartbeatMs() >= LinkHealth::LostAfterMs);
    // Both run out of patience at the same heartbeat.
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::LinkLost, 1000);
    QVERIFY(!monitor.telemetryLive());

    QTRY_VERIFY_WITH_TIMEOUT(!health.linkLost(), 6000);
    QVERIFY(monitor.telemetryLive());
}

// While heartbeats come, the figures renew in the window's rhythm. A busy machine may hold a heartbeat back;
// the timer may then renew them in the rhythm's place, but only once the rhythm has missed its turn.
void TestDiagnostics::linkFiguresChangeInTheWindowsRhythmAndWithoutIt()
{
    SimProcess sim({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("6000:6000")});
    QVERIFY(sim.start());
    AppBridge bridge;
    DisplayRhythm rhythm(bridge);
    LinkHealth health(bridge, true);
    bool inRhythm = false;
    QElapsedTimer sinceDue;
    connect(&rhythm, &DisplayRhythm::due, &health, [&] {
        sinceDue.start();
        inRhythm = true;
        health.refreshIfDue();
        inRhythm = false;
    });
    int renewedInRhythm = 0;
    QVector<qint64> renewedApartAfterDueMs;   // -1: before the rhythm began
    connect(&health, &LinkHealth::changed, this, [&] {
        if (inRhythm)
            ++renewedInRhythm;
        else
            renewedApartAfterDueMs.append(sinceDue.isValid() ? sinceDue.elapsed() : -1);
    });
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    renewedApartAfterDueMs.clear();

    QTRY_VERIFY_WITH_TIMEOUT(renewedInRhythm >= 2, 15000);
    QVERIFY(health.framesPerSecond() > 0);
    for (const qint64 ms : qAsConst(renewedApartAfterDueMs))
        QVERIFY2(ms < 0 || ms >= LinkHealth::FollowingSlackMs,
                 qPrintable(QStringLiteral("renewed apart %1 ms after the rhythm's last call").arg(ms)));

    // A silent link has no rhythm, and its figures still move.
    QTRY_VERIFY_WITH_TIMEOUT(health.linkLost(), 15000);
    const int renewedBefore = renewedApartAfterDueMs.size();
    QTRY_VERIFY_WITH_TIMEOUT(renewedApartAfterDueMs.size() >= renewedBefore + 2, 5000);
    QVERIFY(health.sinceHeartbeatMs() > LinkHealth::LostAfterMs);
}

void TestDiagnostics::historyRecordsHeartbeatsAndStopsWhenPaused()
{
    SimProcess sim;
    QVERIFY(sim.start());
    AppBridge bridge;
    DisplayRhythm rhythm(bridge);
    TelemetryHistory history(bridge, rhythm);
    QSignalSpy heartbeats(&bridge, &AppBridge::heartbeatChanged);
    QVERIFY(bridge.openSerial(sim.portName(), Baud));

    QTRY_VERIFY_WITH_TIMEOUT(history.sampleCount() >= 5, 5000);
    // Not shown: recorded, but nothing repaints.
    QCOMPARE(history.updatesAnnounced(), 0);
    history.setActive(true);
    const int announcedWhenShown = history.updatesAnnounced();
    QTRY_VERIFY_WITH_TIMEOUT(history.updatesAnnounced() >= announcedWhenShown + 3, 5000);
    const QVariantMap latest = history.sampleAt(0);
    QVERIFY(latest.contains(QStringLiteral("pitch")));
    QCOMPARE(latest.value(QStringLiteral("pitch")).toFloat(), float(bridge.hbPitch()));
    // Before the first heartbeat the cursor reads nothing.
    QVERIFY(history.sampleAt(TelemetryHistory::WindowSeconds - 1).isEmpty());

    history.setPaused(true);
    const int frozenCount = history.sampleCount();
    const int frozenAnnounced = history.updatesAnnounced();
    const QVariantMap frozen = history.sampleAt(0);
    heartbeats.clear();
    QTRY_VERIFY_WITH_TIMEOUT(heartbeats.count() >= 5, 5000);
    QCOMPARE(history.sampleCount(), frozenCount);
    QCOMPARE(history.updatesAnnounced(), frozenAnnounced);
    QCOMPARE(history.sampleAt(0), frozen);

    history.setPaused(false);
    QTRY_VERIFY_WITH_TIMEOUT(history.sampleCount() > frozenCount, 5000);
    const TelemetryHistory::Sample &first = history.sample(0);
    const TelemetryHistory::Sample &last = history.sample(history.sampleCount() - 1);
    QVERIFY(last.ms > first.ms);
}

void TestDiagnostics::archiveHoldsLogsParametersVersionsAndConfiguration()
{
    SimProcess sim;
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.paramBlocksReceived() > 0 && bridge.tavoxFirmwareVersion() != QLatin1String("-"),
                             10000);

    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("tavox_20261207_010000.log"));
    QVERIFY(writeFile(log, "current\n"));
    QVERIFY(writeFile(log + QStringLiteral(".0"), "older\n"));
    QVERIFY(writeFile(log + QStringLiteral(".1"), "oldest\n"));
    const QString config = dir.filePath(QStringLiteral("zentaro.cfg"));
    QVERIFY(writeFile(config, "[general]\nlanguage=en\n"));
    DiagnosticsExport diagnostics(bridge);
    diagnostics.setLogFilePath(log);
    diagnostics.setConfigFilePath(config);
    const QString archive = dir.filePath(QStringLiteral("out/../diagnostics.zip"));
    diagnostics.setFileChooser([&](FileDialogMode, const QString &, const QString &suggested, const QString &) {
        return suggested.contains(QStringLiteral("tavox-diagnostics_")) ? archive : QString();
    });

    diagnostics.exportArchive();
    QVERIFY(!QFile::exists(archive));   // out/ does not exist
    QVERIFY(messageTexts(bridge).last().startsWith(QStringLiteral("Could not export diagnostics to")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
    diagnostics.exportArchive();
    QCOMPARE(messageTexts(bridge).last(), QStringLiteral("Diagnostics exported to %1").arg(archive));

    const ProgramRun listing = runProgram(QStringLiteral("unzip"), {QStringLiteral("-l"), archive},
                                          QProcessEnvironment::systemEnvironment());
    QCOMPARE(listing.exitCode, 0);
    const QStringList names {"versions.txt", "parameters.json", "zentaro.cfg", "logs/tavox_20261207_010000.log",
                             "logs/tavox_20261207_010000.log.0", "logs/tavox_20261207_010000.log.1"};
    for (const QString &name : names)
        QVERIFY2(listing.out.contains(name), qPrintable(name + QStringLiteral(" missing in\n") + listing.out));
    QVERIFY(!listing.out.contains(QStringLiteral(".log.2")));

    const auto entry = [&](const QString &name) {
        return runProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, name},
                          QProcessEnvironment::systemEnvironment()).out;
    };
    QCOMPARE(entry(QStringLiteral("logs/tavox_20261207_010000.log.0")), QStringLiteral("older\n"));
    QCOMPARE(entry(QStringLiteral("zentaro.cfg")), QStringLiteral("[general]\nlanguage=en\n"));
    const QString versions = entry(QStringLiteral("versions.txt"));
    QVERIFY(versions.contains(QStringLiteral("tool: ") + tavoxVersion()));
    QVERIFY(versions.contains(QStringLiteral("firmware: 1.0.0.60")));
    QVERIFY(versions.contains(QStringLiteral("boot: 1.0.0.2")));
    ParamFile::Contents parameters;
    ParamFile::Problem problem;
    QVERIFY(ParamFile::fromJson(entry(QStringLiteral("parameters.json")).toUtf8(), parameters, problem));
    QCOMPARE(parameters.form, ParamBlockForm::Crsf);
    QCOMPARE(parameters.block.sbusLockCh, bridge.paramBlock().sbusLockCh);
    QCOMPARE(parameters.block.yawMaxTorque, bridge.paramBlock().yawMaxTorque);
}

void TestDiagnostics::archiveThatCannotBeWrittenIsReported()
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QTemporaryDir dir;
    DiagnosticsExport diagnostics(bridge);
    diagnostics.setLogFilePath(QString());
    diagnostics.setConfigFilePath(dir.filePath(QStringLiteral("missing.cfg")));
    // Without a controller and a log the archive still says which tool it came from.
    const QVector<DiagnosticsExport::Entry> entries = diagnostics.entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().name, QStringLiteral("versions.txt"));
    QVERIFY(entries.first().data.contains("port: closed"));

    const QString existing = dir.filePath(QStringLiteral("earlier.zip"));
    QVERIFY(diagnostics.exportTo(existing));
    const QByteArray earlier = readFile(existing);
    const QString blocked = dir.filePath(QStringLiteral("earlier.zip/inside.zip"));
    QVERIFY(!diagnostics.exportTo(blocked));
    QVERIFY(messageTexts(bridge).last().startsWith(QStringLiteral("Could not export diagnostics to %1: ").arg(blocked)));
    QCOMPARE(readFile(existing), earlier);
}

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
