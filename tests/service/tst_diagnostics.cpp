#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "bridge/LinkHealth.h"
#include "service/DiagnosticsExport.h"
#include "service/LinkEvents.h"
#include "service/SessionRecords.h"
#include "device/ParamFile.h"
#include "support/ArchiveEntries.h"
#include "support/BridgeTestUtils.h"
#include "support/ChildProcess.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

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
    void linkFiguresAndArchiveOfANoisyLink();
    void onlySmallRegularFilesAreTakenWhole_data();
    void onlySmallRegularFilesAreTakenWhole();
    void newestEarlierLogsFitOneFilesBound();
    void noHeartbeatLostWhenNoneCameSinceTheOpen();
    void sessionRecordTellsItsZoneAndKeepsItsNewestEntries();
};

// Without a controller and a log the archive still says which tool it came from, and a configuration never
// written is not missed.
void TestDiagnostics::linkFiguresAndArchiveOfANoisyLink()
{
    SimProcess sim({QStringLiteral("--noise-rate"), QStringLiteral("0.05")});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QTemporaryDir dir;
    DiagnosticsExport diagnostics(bridge);
    diagnostics.setLogFilePath(QString());
    diagnostics.setConfigFilePath(dir.filePath(QStringLiteral("zentaro.cfg")));
    const DiagnosticsExport::Contents contents = diagnostics.contents();
    QVERIFY(contents.omissions.isEmpty());
    QCOMPARE(contents.entries.size(), 1);
    QVERIFY(contents.entries.first().data.contains("port: closed"));

    LinkHealth health(bridge, true);
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QVERIFY(health.portOpen());
    QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0 && bridge.tavoxFirmwareVersion() != QLatin1String("-")
                                 && health.resyncBytes() > 0 && health.framesPerSecond() > 0,
                             10000);
    QVERIFY(health.bytesPerSecond() > health.framesPerSecond());
    QVERIFY(!health.linkLost());
    QVERIFY(health.sinceHeartbeatMs() >= 0 && health.sinceHeartbeatMs() < LinkHealth::LostAfterMs);
    const LinkFigures &sampled = health.sample();
    QCOMPARE(sampled.total.resyncBytes, bridge.serialLink().statistics().resyncBytes);
    QCOMPARE(sampled.total.crcFailures + sampled.total.headerSumFailures,
             bridge.serialLink().statistics().crcFailures + bridge.serialLink().statistics().headerSumFailures);

    // The newest recordings that fit the bound together, the one being written brought to disk first.
    const QString sessions = dir.filePath(QStringLiteral("sessions"));
    const QString newest = QStringLiteral("20261208-141503_ttyUSB0");
    QVERIFY(QDir().mkpath(sessions) && writeFile(sessions + "/" + newest + ".pcapng", "recorded")
            && writeFile(sessions + "/" + newest + ".tsv", "notes")
            && writeSparse(sessions + "/20261208-101500_ttyUSB0.pcapng", DiagnosticsExport::MaxRecordingBytes - 12));
    int flushes = 0;
    diagnostics.setRecordings(sessions, [&] { ++flushes; });
    const QString archive = dir.filePath(QStringLiteral("diagnostics.zip"));
    diagnostics.setFileChooser([&](FileDialogMode, const QString &, const QString &suggested, const QString &) {
        return suggested.contains(QStringLiteral("tavox-diagnostics_")) ? archive : QString();
    });
    diagnostics.exportArchive();
    QCOMPARE(messageTexts(bridge).last(), QStringLiteral("Diagnostics exported to %1").arg(archive));
    QCOMPARE(flushes, 1);
    QCOMPARE(archived(archive, "recordings/" + newest + ".pcapng"), QByteArray("recorded"));
    QCOMPARE(archivedNames(archive).filter(QStringLiteral("recordings/")),
             QStringList({"recordings/" + newest + ".pcapng", "recordings/" + newest + ".tsv"}));

    const QString versions = QString::fromUtf8(archived(archive, QStringLiteral("versions.txt")));
    QVERIFY(versions.contains(QStringLiteral("tool: ") + tavoxVersion()));
    QVERIFY(versions.contains(QStringLiteral("firmware: 1.0.0.60")));
    QVERIFY(versions.contains(QStringLiteral("boot: 1.0.0.2")));
    ParamFile::Contents parameters;
    ParamFile::Problem problem;
    QVERIFY(ParamFile::fromJson(archived(archive, QStringLiteral("parameters.json")), parameters, problem));
    QCOMPARE(parameters.form, ParamBlockForm::Crsf);
    QCOMPARE(parameters.block.sbusLockCh, bridge.parameters().block().sbusLockCh);
    QCOMPARE(parameters.block.yawMaxTorque, bridge.parameters().block().yawMaxTorque);

    const QByteArray earlier = readFile(archive);
    const QString blocked = dir.filePath(QStringLiteral("diagnostics.zip/inside.zip"));
    QVERIFY(!diagnostics.exportTo(blocked));
    QVERIFY(messageTexts(bridge).last().startsWith(QStringLiteral("Could not export diagnostics to %1: ").arg(blocked)));
    QCOMPARE(bridge.messages().entries().last().meaning.kind, MessageKind::Error);
    QCOMPARE(readFile(archive), earlier);

    bridge.closeSerial();
    QVERIFY(!health.portOpen());
    QCOMPARE(health.sinceHeartbeatMs(), -1.0);
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
    QTest::newRow("current log: just over 16 MiB") << log << justOver << larger.arg(16 * MiB + 1)
                                                   << largerZh.arg(16 * MiB + 1);
    QTest::newRow("current log: 100 MB") << log << "size:100000000" << larger.arg(100000000)
                                         << largerZh.arg(100000000);
    QTest::newRow("rotation .1: link to /dev/zero") << log + ".1" << "device" << "it is a device" << "它是设备";
}

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
    const QByteArray end = archived(archive, name);
    // Not QCOMPARE, which would print 16 MiB.
    QVERIFY(end == lastBytes(pathOf(name), DiagnosticsExport::MaxFileBytes));
}

// Earlier versions' logs, never pruned, may fill their folder; the archive takes the newest within 16 MiB and
// leaves the folder as it was.
void TestDiagnostics::newestEarlierLogsFitOneFilesBound()
{
    QTemporaryDir dir;
    const QString current = dir.filePath(LogName);
    QVERIFY(writeFile(current, "current\n"));
    const QStringList earlier {"tavox_20250101_000000.log", "tavox_20250102_000000.log.0",
                               "tavox_20250102_000000.log", "tavox_20250102_000000.log.lock", "notes.txt"};
    const qint64 sizes[] = {10 * MiB, 1024, 7 * MiB, 0, 5};
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("earlier")));
    for (int n = 0; n < earlier.size(); ++n) {
        QFile file(dir.filePath("earlier/" + earlier.at(n)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(sizes[n])
                && file.setFileTime(yesterday.addSecs(60 * n), QFileDevice::FileModificationTime));
    }
    AppBridge bridge;
    DiagnosticsExport diagnostics(bridge);
    diagnostics.setLogFilePath(current);
    diagnostics.setEarlierLogFolder(dir.filePath(QStringLiteral("earlier")));
    QStringList logs;
    for (const DiagnosticsExport::Entry &entry : diagnostics.contents().entries) {
        if (entry.name.startsWith(QLatin1String("logs/")))
            logs << entry.name + ' ' + QString::number(entry.data.size());
    }
    QCOMPARE(logs, (QStringList {"logs/" + LogName + " 8", "logs/tavox_20250102_000000.log 7340032",
                                 "logs/tavox_20250102_000000.log.0 1024"}));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("earlier"))).count(), uint(earlier.size() + 2));
}

void TestDiagnostics::noHeartbeatLostWhenNoneCameSinceTheOpen()
{
    PseudoTerminal terminal;
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    EntryCapture entries(bridge);
    LinkEvents events(bridge);
    QVERIFY(bridge.openSerial(terminal.slaveName(), Baud));

    QTRY_VERIFY_WITH_TIMEOUT(events.events().size() == 2, ProcessWaitMs);
    QCOMPARE(events.events().at(1).name, QStringLiteral("no-heartbeat"));
    QVERIFY(entries.startingWith(QStringLiteral("Heartbeat")).isEmpty());
}

void TestDiagnostics::sessionRecordTellsItsZoneAndKeepsItsNewestEntries()
{
    const QDateTime newfoundland(QDate(2026, 12, 7), QTime(16, 25, 50, 148), Qt::OffsetFromUTC, -(3 * 3600 + 1800));
    QCOMPARE(isoLocalTime(newfoundland), QStringLiteral("2026-12-07T16:25:50.148-03:30"));
    QCOMPARE(isoLocalTime(newfoundland.toOffsetFromUtc(5 * 3600 + 45 * 60)), QStringLiteral("2026-12-08T01:40:50.148+05:45"));

    SessionMessages session;
    const int extra = 7;
    for (int n = 0; n < SessionMessages::MaxEntries + extra; ++n)
        session.add({newfoundland, MessageKind::Info, QStringLiteral("en"), QString::number(n)});
    const QStringList kept = QString::fromUtf8(session.toTabSeparated()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(kept.size(), SessionMessages::MaxEntries + 2);
    QCOMPARE(kept.at(0), QStringLiteral("# %1 earlier entries were dropped").arg(extra));
    QCOMPARE(kept.at(1), QStringLiteral("time\tkind\tlanguage\ttext"));
    QCOMPARE(kept.at(2), QStringLiteral("2026-12-07T16:25:50.148-03:30\tinfo\ten\t%1").arg(extra));
    QCOMPARE(kept.last().section(QLatin1Char('\t'), 3), QString::number(SessionMessages::MaxEntries + extra - 1));
}


QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
