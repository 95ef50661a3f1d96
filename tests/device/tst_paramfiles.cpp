#include "device/ParamFile.h"
#include "device/ParamSnapshots.h"
#include "device/WholeFile.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {
// Smaller than the file saved, larger than anything a save writes beside it first.
const rlim_t FileSizeLimit = 512;
const QByteArray EarlierBytes(100, 'e');
const QByteArray LaterBytes(3 * 4096, 'l');

const QDateTime FirstSnapshot(QDate(2026, 12, 7), QTime(1, 0, 0));
const QString Firmware = QStringLiteral("1.0.0.60");

ParamFile::Contents contentsOf(int torque)
{
    ParamFile::Contents contents;
    contents.firmwareVersion = Firmware;
    contents.block.pitchMaxTorque = contents.block.rollMaxTorque = contents.block.yawMaxTorque = quint16(torque);
    return contents;
}

QString snapshotName(int index)
{
    return ParamSnapshots::fileName(Firmware, FirstSnapshot.addSecs(index));
}

QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        contents.insert(name, readFile(dir.filePath(name)));
    return contents;
}

// In a forked child, under the file size limit if `limited` (its signal ignored, as the tool's programs
// ignore it): "saved" or the system's reason. The limit stands for a full disk: the write fails part way.
QByteArray save(bool replace, const QString &folder, bool limited)
{
    const ChildRun run = runInChild([&] {
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t before = limit.rlim_cur;
        if (limited) {
            std::signal(SIGXFSZ, SIG_IGN);
            limit.rlim_cur = FileSizeLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        QString error;
        const bool saved = replace ? WholeFile::replace(QDir(folder).filePath(QStringLiteral("keep.json")), LaterBytes, error)
                                   : WholeFile::create(QDir(folder).filePath(QStringLiteral("new.json")), LaterBytes, error);
        limit.rlim_cur = before;   // so that the report reaches the output
        setrlimit(RLIMIT_FSIZE, &limit);
        std::printf("%s", qPrintable(saved ? QStringLiteral("saved") : error));
    });
    return run.succeeded() ? run.output : "the child failed: " + run.errors;
}
}

class TestParamFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveWithoutRoomFailsAndLeavesTheFolderAsItWas_data();
    void saveWithoutRoomFailsAndLeavesTheFolderAsItWas();
    void snapshotsAreNamedForFirmwareTimeAndProcess();
    void snapshotNeverReplacesWhatHoldsItsName_data();
    void snapshotNeverReplacesWhatHoldsItsName();
    void pruningRemovesOnlyTheToolsOwnSnapshots();
    void editedFileLoadsOnlyWhenEveryValueAndKeyHolds_data();
    void editedFileLoadsOnlyWhenEveryValueAndKeyHolds();
};

// Every file the tool saves is written by one of these two. With room again, the same save succeeds: the
// failure came from the room alone.
void TestParamFiles::saveWithoutRoomFailsAndLeavesTheFolderAsItWas_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("replace") << true;
    QTest::newRow("create") << false;
}

void TestParamFiles::saveWithoutRoomFailsAndLeavesTheFolderAsItWas()
{
    QFETCH(bool, replace);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("keep.json")), EarlierBytes));
    const QMap<QString, QByteArray> before = folderContents(dir.path());

    QCOMPARE(save(replace, dir.path(), true), QByteArray("File too large"));
    QCOMPARE(folderContents(dir.path()), before);
    QCOMPARE(save(replace, dir.path(), false), QByteArray("saved"));
}

// Kept as the controller had it, torques of 0 and all; never loaded to be written back.
void TestParamFiles::snapshotsAreNamedForFirmwareTimeAndProcess()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots"));
    const ParamSnapshots snapshots(folder);
    QString error;
    const QString later = snapshots.save(contentsOf(0), FirstSnapshot.addMSecs(500), error);
    const QString earlier = snapshots.save(contentsOf(0), FirstSnapshot.addMSecs(-1), error);
    QVERIFY2(!later.isEmpty() && !earlier.isEmpty(), qPrintable(error));
    const QString process = QStringLiteral("_%1.json").arg(QCoreApplication::applicationPid());
    QVERIFY(later.endsWith(QStringLiteral("/1.0.0.60_20261207-010000-500") + process));
    QCOMPARE(ParamSnapshots::fileName(QStringLiteral("-"), FirstSnapshot), QStringLiteral("unknown_20261207-010000-000") + process);
    QCOMPARE(ParamSnapshots::fileName(QStringLiteral("v1/2 beta"), FirstSnapshot.addMSecs(345)),
             QStringLiteral("v1-2-beta_20261207-010000-345") + process);
    ParamFile::Contents read;
    ParamFile::Problem problem;
    QVERIFY(!ParamFile::load(later, read, problem));
    QVERIFY(problem.describe(later).en.endsWith(QLatin1String("field params.gimbal.pitchMaxTorque: value 0 out of range 1..30000")));

    // Names from before milliseconds and the process were in them are listed in time order among the new ones.
    const QString old = QDir(folder).filePath(QStringLiteral("1.0.0.60_20261207-010000.json"));
    QVERIFY(QFile::copy(later, old));
    QCOMPARE(snapshots.files(), (QStringList {earlier, old, later}));

    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    QVERIFY(writeFile(notAFolder, "x"));
    QVERIFY(ParamSnapshots(notAFolder + QStringLiteral("/snapshots")).save({}, FirstSnapshot, error).isEmpty());
    QVERIFY(error.startsWith(QStringLiteral("cannot create the folder")));
}

void TestParamFiles::snapshotNeverReplacesWhatHoldsItsName_data()
{
    QTest::addColumn<QString>("planted");   // what holds the next snapshot's name
    QTest::newRow("link to a file of the user") << "link";
    QTest::newRow("link to nothing yet") << "dangling link";
    QTest::newRow("file") << "file";
}

void TestParamFiles::snapshotNeverReplacesWhatHoldsItsName()
{
    QFETCH(QString, planted);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots"));
    QVERIFY(QDir().mkpath(folder));
    const QString victim = dir.filePath(QStringLiteral("precious.txt"));
    const QString name = QDir(folder).filePath(snapshotName(0));
    if (planted == "link")
        QVERIFY(writeFile(victim, "the user's own words\n"));
    QVERIFY(planted == "file" ? writeFile(name, "kept by hand\n") : QFile::link(victim, name));
    const QMap<QString, QByteArray> folderBefore = folderContents(folder);
    const QByteArray victimBefore = readFile(victim);

    QString error;
    QVERIFY(ParamSnapshots(folder).save(contentsOf(2400), FirstSnapshot, error).isEmpty());
    QCOMPARE(error, QStringLiteral("cannot write %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(EEXIST))));
    QCOMPARE(folderContents(folder), folderBefore);
    QCOMPARE(readFile(victim), victimBefore);

    // the next second's name is free
    QVERIFY2(!ParamSnapshots(folder).save(contentsOf(2400), FirstSnapshot.addSecs(1), error).isEmpty(), qPrintable(error));
}

void TestParamFiles::pruningRemovesOnlyTheToolsOwnSnapshots()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots"));
    QVERIFY(QDir().mkpath(folder));
    const QDir snapshots(folder);
    for (int i = 0; i < ParamSnapshots::Kept; ++i)
        QVERIFY(writeFile(snapshots.filePath(snapshotName(i)), "earlier"));
    const QStringList foreign {QStringLiteral("notes_x.json"), QStringLiteral("notes_1.json"),
                               QStringLiteral("old notes_20261207-000000.json"),
                               QStringLiteral("v1_2_20261207-000000.json"),
                               QStringLiteral("1.0.0.60_20261399-000000.json"),
                               QStringLiteral("1.0.0.60_20261207-0000.json"),
                               QStringLiteral("1.0.0.60_20261207-000000.json.json")};
    for (const QString &name : foreign)
        QVERIFY(writeFile(snapshots.filePath(name), "not a snapshot\n"));
    const QString linkTarget = dir.filePath(QStringLiteral("elsewhere.json"));
    QVERIFY(writeFile(linkTarget, "the user's"));
    QVERIFY(QFile::link(linkTarget, snapshots.filePath(snapshotName(-2))));
    QVERIFY(snapshots.mkdir(snapshotName(-1)));
    QMap<QString, QByteArray> expected = folderContents(folder);

    QString error;
    QVERIFY2(!ParamSnapshots(folder).save(contentsOf(2400), FirstSnapshot.addSecs(ParamSnapshots::Kept), error).isEmpty(),
             qPrintable(error));

    expected.remove(snapshotName(0));
    expected.insert(snapshotName(ParamSnapshots::Kept), ParamFile::toJson(contentsOf(2400)));
    QCOMPARE(folderContents(folder), expected);
    QVERIFY(QFileInfo(snapshots.filePath(snapshotName(-2))).isSymLink());
    QCOMPARE(readFile(linkTarget), QByteArray("the user's"));
}

// A saved CRSF file (line 24 fpvMode, 26 and 28 the pitch and roll torques, 30 the yaw torque, 33 the PWM
// centre channel, 48 the SBUS roll direction) with one line replaced, or with one inserted after it. Each kind
// of field at the ends of its range, then one beyond; a key given twice, which QJsonDocument would take the
// last of silently. The same names in several groups are no repeat: every file here has them.
void TestParamFiles::editedFileLoadsOnlyWhenEveryValueAndKeyHolds_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("inserted");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");   // after "<path>, "; empty: the file loads
    QTest::addColumn<QString>("problemZh");   // after "<path> "; empty: not checked
    const auto row = [](const char *name, int line, bool inserted, const char *text, const char *problem,
                        const char *problemZh = "") {
        QTest::newRow(name) << line << inserted << QByteArray(text) << QString::fromUtf8(problem)
                            << QString::fromUtf8(problemZh);
    };
    row("torque at its lowest", 28, false, "            \"rollMaxTorque\": 1,", "");
    row("torque below", 28, false, "            \"rollMaxTorque\": 0,",
        "line 28: field params.gimbal.rollMaxTorque: value 0 out of range 1..30000");
    row("torque at its highest", 30, false, "            \"yawMaxTorque\": 30000", "");
    row("torque above", 30, false, "            \"yawMaxTorque\": 30001",
        "line 30: field params.gimbal.yawMaxTorque: value 30001 out of range 1..30000");
    row("PWM channel at its highest", 33, false, "            \"centerChannel\": 3,", "");
    row("PWM channel above", 33, false, "            \"centerChannel\": 4,",
        "line 33: field params.pwm.centerChannel: value 4 out of range 0..3");
    row("FPV mode at its highest", 24, false, "            \"fpvMode\": 7,", "");
    row("FPV mode above", 24, false, "            \"fpvMode\": 8,", "line 24: field params.gimbal.fpvMode: value 8 out of range 0..7");
    row("direction at its highest", 48, false, "            \"rollDirection\": 1,", "");
    row("direction above", 48, false, "            \"rollDirection\": 2,",
        "line 48: field params.sbus.rollDirection: value 2 out of range 0..1");
    row("top level key twice", 7, true, "    \"paramForm\": \"base\",", "line 8: field paramForm: given twice (first on line 7)");
    row("key twice in a group", 26, true, "            \"pitchMaxTorque\": 10,",
        "line 27: field params.gimbal.pitchMaxTorque: given twice (first on line 26)",
        "第 27 行: 字段 params.gimbal.pitchMaxTorque: 重复出现 (第 26 行已有)");
    row("key twice, spelt with an escape", 24, true, "            \"fpv\\u004dode\": 1,",
        "line 25: field params.gimbal.fpvMode: given twice (first on line 24)");
    row("a whole group twice, the first one inserted", 8, true, "        \"camera\": {},",
        "line 10: field params.camera: given twice (first on line 9)");
}

void TestParamFiles::editedFileLoadsOnlyWhenEveryValueAndKeyHolds()
{
    QFETCH(int, line);
    QFETCH(bool, inserted);
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    QFETCH(QString, problemZh);
    ParamFile::Contents read = contentsOf(1200);
    read.form = ParamBlockForm::Crsf;
    const QByteArray saved = ParamFile::toJson(read);
    QList<QByteArray> lines = saved.split('\n');
    if (inserted)
        lines.insert(line, text);
    else
        lines[line - 1] = text;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("edited.json"));
    QVERIFY(writeFile(path, lines.join('\n')));

    ParamFile::Problem refusal;
    const bool loaded = ParamFile::load(path, read, refusal);
    QCOMPARE(loaded ? QString() : refusal.describe(path).en, problem.isEmpty() ? QString() : path + ", " + problem);
    if (!problemZh.isEmpty())
        QCOMPARE(refusal.describe(path).zh, path + QLatin1Char(' ') + problemZh);
    // Loaded, the value is the one given, where it was given; refused, nothing read before changes.
    QCOMPARE(ParamFile::toJson(read).split('\n').at(line - 1), loaded ? text : saved.split('\n').at(line - 1));
}

QTEST_GUILESS_MAIN(TestParamFiles)
#include "tst_paramfiles.moc"
