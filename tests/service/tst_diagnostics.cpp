// What the window tells about the link and the controller's motion, and the
// archive a service engineer gets: the real bridge against the simulated
// controller, the window's objects as start-up publishes them, the archive
// opened with unzip.
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"
#include "service/DiagnosticsExport.h"
#include "service/LinkEvents.h"
#include "service/SessionRecords.h"
#include "window/DisplayRhythm.h"
#include "bridge/LinkHealth.h"
#include "window/LinkMonitor.h"
#include "window/MessageJournal.h"
#include "window/TelemetryHistory.h"
#include "window/WindowState.h"
#include "device/ParamFile.h"
#include "support/BridgeTestUtils.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const int Baud = 921600;
const qint64 MiB = 1 << 20;
const QString LogName = QStringLiteral("tavox_20261207_010000.log");

long maxResidentKib()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A read that runs away is stopped at this much more address space, not when the machine's memory runs out.
void capAddressSpaceGrowth(qint64 bytes)
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return;
    const qint64 current = statm.readLine().split(' ').value(0).toLongLong() * sysconf(_SC_PAGESIZE);
    const rlimit cap {rlim_t(current + bytes), rlim_t(current + bytes)};
    setrlimit(RLIMIT_AS, &cap);
}

// What the archive takes from beside the tool, by its names in the archive.
QMap<QString, QByteArray> diagnosedFiles()
{
    return {{QStringLiteral("zentaro.cfg"), "[general]\nlanguage=en\n"},
            {"logs/" + LogName, "current\n"},
            {"logs/" + LogName + ".0", "older\n"},
            {"logs/" + LogName + ".1", "oldest\n"}};
}

// A sparse file with a line at either end.
bool writeSparse(const QString &path, qint64 bytes)
{
    QFile file(path);
    return writeFile(path, "first line\n") && file.resize(bytes - 10) && file.open(QIODevice::Append)
        && file.write("last line\n") == 10;
}

QByteArray lastBytes(const QString &path, qint64 count)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.seek(file.size() - count) ? file.read(count) : QByteArray();
}

// Puts `kind` at `path` in place of a small regular file with `content`.
bool plant(const QString &path, const QString &kind, const QByteArray &content)
{
    if (kind == QLatin1String("fifo"))
        return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    if (kind == QLatin1String("device"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    if (kind == QLatin1String("directory"))
        return QDir().mkdir(path);
    if (kind.startsWith(QLatin1String("size:")))
        return writeSparse(path, kind.mid(5).toLongLong());
    return writeFile(path, content);
}

QStringList archivedNames(const QString &archive)
{
    const ProgramRun listing = runProgram(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive},
                                          QProcessEnvironment::systemEnvironment());
    QStringList names = listing.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.sort();
    return listing.exitCode == 0 ? names : QStringList {QStringLiteral("unzip failed: ") + listing.err};
}

// The rows whose column `column` is `value`.
QVector<QStringList> rowsWith(const QVector<QStringList> &rows, int column, const QString &value)
{
    QVector<QStringList> found;
    for (const QStringList &row : rows) {
        if (row.value(column) == value)
            found.append(row);
    }
    return found;
}

// The seconds in "… after 6.2 s", or -1.
double secondsIn(const QString &text)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("(\\d+\\.\\d) s")).match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

// The message-log texts added from now on, for as long as it lives.
class EntryCapture
{
public:
    explicit EntryCapture(AppBridge &bridge)
    {
        QObject::connect(&bridge.messages(), &MessageLog::entryAdded, &m_context,
                         [this](const MessageEntry &entry) { m_texts.append(entry.text); });
    }
    QStringList startingWith(const QString &start) const
    {
        QStringList found;
        for (const QString &text : m_texts) {
            if (text.startsWith(start))
                found.append(text);
        }
        return found;
    }

private:
    QObject m_context;
    QStringList m_texts;
};

template <typename Object>
Object *published(QQmlEngine &engine, const char *name)
{
    return qobject_cast<Object *>(engine.rootContext()->contextProperty(QLatin1String(name)).value<QObject *>());
}

// Every byte of the entry, NULs included.
QByteArray archived(const QString &archive, const QString &name)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, name});
    return unzip.waitForFinished(ProcessWaitMs) && unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
}

// The tab-separated lines of an archived record, the header first; a field's escapes left as written.
QVector<QStringList> archivedTable(const QString &archive, const QString &name)
{
    QVector<QStringList> rows;
    for (const QString &line : QString::fromUtf8(archived(archive, name)).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}

// Exports to `archive`, once in each language, in a child that must finish: a FIFO with no writer would block
// a reader for ever, and /dev/zero never ends. Each message and the resident memory's growth in KiB.
QStringList exportInChild(const QString &config, const QString &log, const QString &archive)
{
    QTemporaryFile results;
    if (!results.open())
        return {QStringLiteral("no file for the results")};
    const ChildRun run = runInChild([&] {
        capAddressSpaceGrowth(1024 * MiB);
        AppBridge bridge;
        DiagnosticsExport diagnostics(bridge);
        diagnostics.setConfigFilePath(config);
        diagnostics.setLogFilePath(log);
        const long residentBefore = maxResidentKib();
        QStringList lines;
        for (const char *language : {"en", "zh"}) {
            bridge.setLanguage(QString::fromLatin1(language));
            const bool exported = diagnostics.exportTo(archive);
            lines << QString::number(int(exported)) + QLatin1Char(' ') + messageTexts(bridge).last();
        }
        lines << QString::number(maxResidentKib() - residentBefore);
        // Not on standard output, where the bridge echoes its messages.
        writeFile(results.fileName(), lines.join(QLatin1Char('\n')).toUtf8());
    }, ProcessWaitMs);
    if (!run.finished)
        return {QStringLiteral("the export blocked")};
    if (!run.succeeded())
        return {QStringLiteral("the export failed: ") + QString::fromUtf8(run.errors)};
    return QString::fromUtf8(readFile(results.fileName())).split(QLatin1Char('\n'));
}
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
    void onlySmallRegularFilesAreTakenWhole_data();
    void onlySmallRegularFilesAreTakenWhole();
    void heartbeatGapIsToldOnceAndTheArchiveHoldsTheWholeSession();
    void noHeartbeatLostWhenNoneCameSinceTheOpen();
    void linkEventsFollowALostPortBack();
    void sessionRecordKeepsTheKindShownAndItsNewestEntries();
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
    QCOMPARE(sampled.total.resyncBytes, bridge.serialLink().statistics().resyncBytes);
    QCOMPARE(sampled.total.crcFailures + sampled.total.headerSumFailures,
             bridge.serialLink().statistics().crcFailures + bridge.serialLink().statistics().headerSumFailures);

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
    QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0 && bridge.tavoxFirmwareVersion() != QLatin1String("-"),
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
    QCOMPARE(bridge.messages().entries().last().meaning.kind, MessageKind::Error);
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
    QCOMPARE(parameters.block.sbusLockCh, bridge.parameters().block().sbusLockCh);
    QCOMPARE(parameters.block.yawMaxTorque, bridge.parameters().block().yawMaxTorque);
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
    const DiagnosticsExport::Contents contents = diagnostics.contents();
    // A configuration never written is not missed.
    QVERIFY(contents.omissions.isEmpty());
    const QVector<DiagnosticsExport::Entry> &entries = contents.entries;
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

void TestDiagnostics::onlySmallRegularFilesAreTakenWhole_data()
{
    QTest::addColumn<QString>("name");       // the file in the row's place, by its name in the archive
    QTest::addColumn<QString>("kind");       // what stands there
    QTest::addColumn<QString>("reasonEn");   // why it is not taken whole; empty: it is
    QTest::addColumn<QString>("reasonZh");
    const QString config = QStringLiteral("zentaro.cfg");
    const QString log = "logs/" + LogName;
    const QString justOver = "size:" + QString::number(16 * MiB + 1);
    const QString larger = QStringLiteral("it is larger than 16 MiB (%1 bytes): only its last 16 MiB are included");
    const QString largerZh = QStringLiteral("它大于 16 MiB (%1 字节)，只收入了最后 16 MiB");
    QTest::newRow("all regular and small") << config << "regular" << QString() << QString();
    QTest::newRow("configuration: FIFO nobody writes to") << config << "fifo" << "it is a FIFO" << "它是 FIFO";
    QTest::newRow("configuration: link to /dev/zero") << config << "device" << "it is a device" << "它是设备";
    QTest::newRow("configuration: directory") << config << "directory" << "it is a directory" << "它是文件夹";
    QTest::newRow("configuration: just over 16 MiB") << config << justOver << larger.arg(16 * MiB + 1)
                                                     << largerZh.arg(16 * MiB + 1);
    QTest::newRow("current log: FIFO nobody writes to") << log << "fifo" << "it is a FIFO" << "它是 FIFO";
    QTest::newRow("current log: just over 16 MiB") << log << justOver << larger.arg(16 * MiB + 1)
                                                   << largerZh.arg(16 * MiB + 1);
    QTest::newRow("current log: 100 MB") << log << "size:100000000" << larger.arg(100000000)
                                         << largerZh.arg(100000000);
    QTest::newRow("rotation .0: FIFO nobody writes to") << log + ".0" << "fifo" << "it is a FIFO" << "它是 FIFO";
    QTest::newRow("rotation .1: link to /dev/zero") << log + ".1" << "device" << "it is a device" << "它是设备";
}

// Whatever stands in a file's place, the export ends, takes the other files whole and names the one it left
// out or cut.
void TestDiagnostics::onlySmallRegularFilesAreTakenWhole()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, reasonEn);
    QFETCH(QString, reasonZh);
    QTemporaryDir dir;
    const QMap<QString, QByteArray> files = diagnosedFiles();
    const auto pathOf = [&](const QString &entry) { return dir.filePath(QFileInfo(entry).fileName()); };
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        const QString path = pathOf(file.key());
        QVERIFY(file.key() == name ? plant(path, kind, file.value()) : writeFile(path, file.value()));
    }
    const QString archive = dir.filePath(QStringLiteral("diagnostics.zip"));

    const QStringList result = exportInChild(pathOf(QStringLiteral("zentaro.cfg")), pathOf(LogName), archive);
    QVERIFY2(result.size() == 3, qPrintable(result.join(QLatin1Char('\n'))));
    const bool cut = kind.startsWith(QLatin1String("size:"));
    // Only the end of a file cut to the bound is held in memory: a few copies of it at most (the sanitizer
    // build keeps freed blocks a while), far below the 100 MB file read whole.
    const qint64 mostGrowth = (cut ? 3 * DiagnosticsExport::MaxFileBytes : 0) + 16 * MiB;
    QVERIFY2(result.at(2).toLongLong() * 1024 < mostGrowth, qPrintable("resident memory grew by KiB: " + result.at(2)));
    const QString item = QStringLiteral("%1 (%2)").arg(name);
    QCOMPARE(result.at(0), "1 Diagnostics exported to " + archive
                               + (reasonEn.isEmpty() ? QString() : ", incomplete: " + item.arg(reasonEn)));
    QCOMPARE(result.at(1), "1 诊断包已导出到 " + archive + (reasonZh.isEmpty() ? QString() : "，但不完整: " + item.arg(reasonZh)));

    const bool leftOut = !reasonEn.isEmpty() && !cut;
    QStringList expected = files.keys();
    expected << QStringLiteral("versions.txt");
    if (leftOut)
        expected.removeOne(name);
    if (!reasonEn.isEmpty())
        expected << QStringLiteral("omitted.txt");
    expected.sort();
    QCOMPARE(archivedNames(archive), expected);
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        if (file.key() != name || reasonEn.isEmpty())
            QCOMPARE(archived(archive, file.key()), file.value());
    }
    if (reasonEn.isEmpty())
        return;
    const QByteArray omitted = archived(archive, QStringLiteral("omitted.txt"));
    QVERIFY2(omitted.contains(QStringLiteral("\n%1 (%2): %3\n").arg(name, pathOf(name), reasonEn).toUtf8()),
             omitted.constData());
    if (leftOut)
        return;
    // The end of a log is its newest part.
    const QByteArray end = archived(archive, name);
    QCOMPARE(end.size(), DiagnosticsExport::MaxFileBytes);
    // Not QCOMPARE, which would print 16 MiB.
    QVERIFY(end == lastBytes(pathOf(name), DiagnosticsExport::MaxFileBytes));
}

// The window's objects as start-up publishes them, on the simulated controller: a heartbeat gap is told once
// when it begins and once when it ends, and the archive holds every entry of the session, those the window's
// log let go and those cleared, and what happened to the link.
void TestDiagnostics::heartbeatGapIsToldOnceAndTheArchiveHoldsTheWholeSession()
{
    // Three times the silence that counts as lost: a loss told again for the same gap would show.
    const int gapMs = 3 * LinkHealth::LostAfterMs;
    // Late enough that heartbeats have come before it, however slowly the port is opened.
    SimProcess sim({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("5000:%1").arg(gapMs)});
    QVERIFY(sim.start());
    AppBridge bridge;
    EntryCapture entries(bridge);
    QQmlEngine engine;
    QObject owner;
    publishWindowState(*engine.rootContext(), bridge, owner);
    auto *journal = published<MessageJournal>(engine, "messageJournal");
    auto *diagnostics = published<DiagnosticsExport>(engine, "diagnosticsExport");
    QVERIFY(journal && diagnostics);
    bridge.setLanguage(QStringLiteral("en"));

    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.hbReceived(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!entries.startingWith(QStringLiteral("Heartbeat restored")).isEmpty(), ProcessWaitMs);
    const QStringList lost = entries.startingWith(QStringLiteral("Heartbeat lost"));
    QCOMPARE(lost.size(), 1);
    QVERIFY2(secondsIn(lost.first()) >= LinkHealth::LostAfterMs / 1000.0, qPrintable(lost.first()));
    const QString restored = entries.startingWith(QStringLiteral("Heartbeat restored")).first();
    // Heartbeats come many times a second, so the gap seen is the simulator's, give or take the delivery.
    QVERIFY2(secondsIn(restored) >= gapMs / 1000.0 - 0.3 && secondsIn(restored) < gapMs / 1000.0 + 20, qPrintable(restored));

    // The operator clears the window's log after more than it holds, and switches the language.
    const int logged = MessageJournal::MaxEntries + 100;
    for (int n = 0; n < logged; ++n)
        bridge.messages().report(Message::info(QStringLiteral("条目 %1").arg(n), QStringLiteral("entry %1").arg(n)));
    QCOMPARE(journal->count(), MessageJournal::MaxEntries);
    journal->clear();
    QCOMPARE(journal->count(), 0);
    bridge.setLanguage(QStringLiteral("zh"));
    bridge.messages().report(Message::info(QStringLiteral("切换后"), QStringLiteral("after the switch")));
    bridge.setLanguage(QStringLiteral("en"));
    // Closed by hand, opened again, then the controller goes away.
    bridge.closeSerial();
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    const QString port = sim.portName();
    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(bridge.serialLink().portLost(), ProcessWaitMs);

    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("diagnostics.zip"));
    QVERIFY(diagnostics->exportTo(archive));
    QVERIFY(archivedNames(archive).contains(QStringLiteral("session/messages.tsv")));

    const QVector<QStringList> messages = archivedTable(archive, QStringLiteral("session/messages.tsv"));
    QCOMPARE(messages.first(), (QStringList {"time", "kind", "language", "text"}));
    const QRegularExpression isoTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
    for (const QStringList &row : messages.mid(1)) {
        QVERIFY2(row.size() == 4 && isoTime.match(row.at(0)).hasMatch(), qPrintable(row.join(QLatin1Char('|'))));
        QVERIFY2(row.at(1) == "info" || row.at(1) == "success" || row.at(1) == "error", qPrintable(row.at(1)));
    }
    QVERIFY(messages.size() > logged);
    // Written before the window's objects existed, in the language the tool started in.
    QCOMPARE(rowsWith(messages, 3, QStringLiteral("应用已启动")).value(0).mid(1, 2), (QStringList {"info", "zh"}));
    int previous = -1;
    for (const QStringList &row : messages) {
        if (!row.value(3).startsWith(QLatin1String("entry ")))
            continue;
        QCOMPARE(row.at(3).mid(6).toInt(), previous + 1);
        previous = row.at(3).mid(6).toInt();
    }
    QCOMPARE(previous, logged - 1);
    QCOMPARE(rowsWith(messages, 3, lost.first()).value(0).mid(1, 2), (QStringList {"error", "en"}));
    QCOMPARE(rowsWith(messages, 3, restored).value(0).mid(1, 2), (QStringList {"success", "en"}));
    QCOMPARE(rowsWith(messages, 3, QStringLiteral("切换后")).value(0).mid(1, 2), (QStringList {"info", "zh"}));

    const QVector<QStringList> events = archivedTable(archive, QStringLiteral("session/link-events.tsv"));
    QCOMPARE(events.first(), (QStringList {"time", "event", "detail"}));
    QStringList happened;
    for (const QStringList &row : events.mid(1)) {
        QVERIFY2(row.size() == 3 && isoTime.match(row.at(0)).hasMatch(), qPrintable(row.join(QLatin1Char('|'))));
        happened.append(row.at(1));
    }
    QCOMPARE(happened, (QStringList {"port-opened", "heartbeat-lost", "heartbeat-restored", "port-closed", "port-opened",
                                     "port-lost", "waiting-for-port"}));
    QCOMPARE(events.at(1).at(2), QStringLiteral("%1 at %2 baud").arg(port).arg(Baud));
    QCOMPARE(secondsIn(events.at(3).at(2)), secondsIn(restored));
    QCOMPARE(events.at(6).at(2), port);
    // Once per gap, however long the session went on after it.
    QCOMPARE(entries.startingWith(QStringLiteral("Heartbeat lost")).size(), 1);
    QCOMPARE(entries.startingWith(QStringLiteral("Heartbeat restored")).size(), 1);
}

// A port with nothing behind it, or a controller in its bootloader, never sent a heartbeat to lose.
void TestDiagnostics::noHeartbeatLostWhenNoneCameSinceTheOpen()
{
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    EntryCapture entries(bridge);
    LinkEvents events(bridge);
    QVERIFY(bridge.openSerial(terminal.slaveName(), Baud));

    QTRY_VERIFY_WITH_TIMEOUT(events.events().size() == 2, ProcessWaitMs);
    QCOMPARE(events.events().at(1).name, QStringLiteral("no-heartbeat"));
    QVERIFY(entries.startingWith(QStringLiteral("Heartbeat")).isEmpty());
}

// The simulator hangs up its line and comes back behind the same link, as a replugged adapter does.
void TestDiagnostics::linkEventsFollowALostPortBack()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    SimProcess sim({QStringLiteral("--link"), link, QStringLiteral("--fault-hangup-after"), QStringLiteral("1000"),
                    QStringLiteral("--fault-return-after"), QStringLiteral("500")});
    QVERIFY(sim.start());
    AppBridge bridge;
    AutoReconnect reconnect(bridge);
    LinkEvents events(bridge);
    events.followReconnection(reconnect);
    QSignalSpy reopened(&reconnect, &AutoReconnect::reopened);
    QVERIFY(bridge.openSerial(link, Baud));

    QVERIFY(reopened.wait(ProcessWaitMs));
    QStringList happened;
    for (const LinkEvents::Event &event : events.events()) {
        if (!event.name.contains(QLatin1String("heartbeat")))
            happened << event.name + QLatin1Char(' ') + event.detail;
    }
    const QString opened = QStringLiteral("port-opened %1 at %2 baud").arg(link).arg(Baud);
    QCOMPARE(happened, (QStringList {opened, "port-lost " + link, "waiting-for-port " + link, opened, "reconnected " + link}));
}

// The record keeps the kind the window showed (the first hint after the start is no refusal), escapes what
// would break its lines, and past its bound keeps the newest entries and says how many went.
void TestDiagnostics::sessionRecordKeepsTheKindShownAndItsNewestEntries()
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    MessageJournal journal(bridge);
    bridge.tavoxOnStartup();
    QVERIFY(!bridge.tavoxRequireSerial());
    bridge.messages().report(Message::info(QStringLiteral("甲\t乙\n丙"), QStringLiteral("one\ttwo\nthree \\n")));
    const QStringList lines = QString::fromUtf8(journal.session().toTabSeparated()).split(QLatin1Char('\n'));
    // The header, the start, the hint, the refusal, the escaped entry, and the last line's end.
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.at(1).split(QLatin1Char('\t')).mid(1), (QStringList {"info", "en", "Application started"}));
    QCOMPARE(lines.at(2).split(QLatin1Char('\t')).mid(1), (QStringList {"info", "en", "Please open serial port first"}));
    QCOMPARE(lines.at(3).split(QLatin1Char('\t')).mid(1), (QStringList {"error", "en", "Please open serial port first"}));
    QCOMPARE(lines.at(4).split(QLatin1Char('\t')).mid(1),
             (QStringList {"info", "en", QStringLiteral("one\\ttwo\\nthree \\\\n")}));

    // Whatever zone the machine is in, the archive's times say which they were taken in.
    const QDateTime newfoundland(QDate(2026, 12, 7), QTime(16, 25, 50, 148), Qt::OffsetFromUTC, -(3 * 3600 + 1800));
    QCOMPARE(isoLocalTime(newfoundland), QStringLiteral("2026-12-07T16:25:50.148-03:30"));
    QCOMPARE(isoLocalTime(newfoundland.toOffsetFromUtc(5 * 3600 + 45 * 60)), QStringLiteral("2026-12-08T01:40:50.148+05:45"));

    SessionMessages session;
    const int extra = 7;
    for (int n = 0; n < SessionMessages::MaxEntries + extra; ++n)
        session.add({QDateTime::currentDateTime(), MessageKind::Info, QStringLiteral("en"), QString::number(n)});
    const QStringList kept = QString::fromUtf8(session.toTabSeparated()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(kept.size(), SessionMessages::MaxEntries + 2);
    QCOMPARE(kept.at(0), QStringLiteral("# %1 earlier entries were dropped").arg(extra));
    QCOMPARE(kept.at(1), QStringLiteral("time\tkind\tlanguage\ttext"));
    QCOMPARE(kept.at(2).section(QLatin1Char('\t'), 3), QString::number(extra));
    QCOMPARE(kept.last().section(QLatin1Char('\t'), 3), QString::number(SessionMessages::MaxEntries + extra - 1));
}

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
