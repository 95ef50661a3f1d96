// The files the tool writes: a save ends only when the data is on disk (a full file system, a file size limit),
// the snapshot folder meets links and files of others, and a parameter file that gives a key twice is refused.
// Real files: a small tmpfs when the test may mount one, a forked child's file size limit for any user.
#include "app/Config.h"
#include "app/StandardLocations.h"
#include "bridge/AppBridge.h"
#include "window/MessageJournal.h"
#include "device/ParamFile.h"
#include "device/ParamSnapshots.h"
#include "support/BridgeTestUtils.h"
#include "support/ChildProcess.h"
#include "support/CtlRun.h"
#include "support/ProgramRun.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
enum class Writer { Params, Journal, Config, Snapshot };
// QSettings takes a lock file before it writes zentaro.cfg: on a disk with no page left it failed before it wrote,
// but when the lock file took the single page left, the file was emptied behind a success.
enum class Room { FullTmpfs, TmpfsWithOnePageLeft, SizeLimit };

const char NoSpace[] = "No space left on device";
const char TooLarge[] = "File too large";
// Smaller than every file these saves write, larger than QSettings' lock file.
const rlim_t FileSizeLimit = 512;
const int PageBytes = 4096;
const uid_t Nobody = 65534;
// A child's exit code: it could not take up its post (an unprivileged user that cannot reach the folder).
const int Unreachable = 3;

const QDateTime FirstSnapshot(QDate(2026, 12, 7), QTime(1, 0, 0));
const QString Firmware = QStringLiteral("1.0.0.60");

ParamFile::Contents contentsOf(int pitchTorque)
{
    ParamFile::Contents contents;
    contents.firmwareVersion = Firmware;
    contents.toolVersion = QStringLiteral("1.0.5");
    contents.block.pitchMaxTorque = contents.block.rollMaxTorque = contents.block.yawMaxTorque = quint16(pitchTorque);
    return contents;
}

const ParamFile::Contents Earlier = contentsOf(1200);
const ParamFile::Contents Later = contentsOf(2400);

QString snapshotName(int index)
{
    return ParamSnapshots::fileName(Firmware, FirstSnapshot.addSecs(index));
}

// Every entry of a folder, hidden ones included, with the bytes of each file.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        contents.insert(name, readFile(dir.filePath(name)));
    return contents;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A tmpfs of a few pages, mounted for one test and unmounted at its end, whatever way it ends.
class SmallTmpfs
{
public:
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    }

    // Empty when mounted, else why not.
    QString mount()
    {
        if (geteuid() != 0)
            return QStringLiteral("mounting a tmpfs takes root; the file size limit rows cover this writer");
        if (!m_base.isValid() || !QDir(m_base.path()).mkdir(QStringLiteral("disk"))
            || ::chmod(QFile::encodeName(m_base.path()).constData(), 0755) != 0)
            return QStringLiteral("no temporary folder for the mount point");
        if (::mount("tavox-test", QFile::encodeName(path()).constData(), "tmpfs", 0, "size=128k,mode=0777") != 0)
            return QStringLiteral("tmpfs cannot be mounted here: ") + systemError(errno);
        m_mounted = true;
        return QString();
    }

    QString path() const { return m_base.filePath(QStringLiteral("disk")); }

    // Takes every free page but `pagesLeft`; false unless the disk ends up that full.
    bool fill(int pagesLeft) const
    {
        const int fd = ::open(QFile::encodeName(fillerPath()).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const QByteArray page(PageBytes, 'f');
        while (fd >= 0 && ::write(fd, page.constData(), size_t(page.size())) > 0) {
        }
        bool filled = fd >= 0 && errno == ENOSPC;
        struct stat status {};
        filled = filled && ::fstat(fd, &status) == 0
            && ::ftruncate(fd, qMax<off_t>(0, status.st_size / PageBytes * PageBytes - pagesLeft * PageBytes)) == 0;
        ::close(fd);
        return filled;
    }

    bool makeRoom() const { return QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return QDir(path()).filePath(QStringLiteral("filler")); }

    QTemporaryDir m_base;
    bool m_mounted = false;
};

rlim_t sizeLimitBefore = RLIM_INFINITY;

// The file size limit of the calling process, with the signal that would end it at the limit ignored, as the
// tool's programs ignore it.
void limitFileSize()
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    sizeLimitBefore = limit.rlim_cur;
    limit.rlim_cur = FileSizeLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
}

// So that the child's report reaches its output file.
void liftFileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = sizeLimitBefore;
    setrlimit(RLIMIT_FSIZE, &limit);
}

struct Outcome
{
    bool saved = false;
    QString report;   // the words the tool used, success or failure
};

Outcome saveParams(const QString &folder, const std::function<void()> &beforeSave)
{
    beforeSave();
    QString error;
    const bool saved = ParamFile::save(QDir(folder).filePath(QStringLiteral("keep.json")), Later, error);
    return {saved, error};
}

Outcome saveJournal(const QString &folder, const std::function<void()> &beforeSave)
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    for (int i = 0; i < 10; ++i)
        bridge.messages().append(QStringLiteral("Parameters read from the controller, time %1").arg(i));
    MessageJournal journal(bridge);
    journal.setFileNameChooser([&](const QString &, const QString &) {
        return QDir(folder).filePath(QStringLiteral("messages.txt"));
    });
    beforeSave();
    journal.saveAs();
    const QString last = messageTexts(bridge).last();
    return {last.startsWith(QStringLiteral("Messages saved")), last};
}

QString lastWarning;

Outcome saveConfig(const std::function<void()> &beforeSave)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) { lastWarning = text; });
    beforeSave();
    const bool saved = writeConfiguredLanguage(QStringLiteral("en"));
    return {saved, lastWarning};
}

Outcome saveSnapshot(const QString &folder, const std::function<void()> &beforeSave)
{
    beforeSave();
    QString error;
    const QString path = ParamSnapshots(folder).save(Later, FirstSnapshot.addSecs(ParamSnapshots::Kept), error);
    return {!path.isEmpty(), error};
}

// Where a writer writes, and what stands there before it does.
struct Scene
{
    Writer writer;
    QString folder;       // the folder the writer writes into, left exactly as it was by a failed save
    QString configHome;   // the configuration of an unprivileged child lives here; empty: the test's own

    bool prepare() const
    {
        if (!QDir().mkpath(folder))
            return false;
        switch (writer) {
        case Writer::Params:
            return writeFile(QDir(folder).filePath(QStringLiteral("keep.json")), ParamFile::toJson(Earlier));
        case Writer::Journal:
            return writeFile(QDir(folder).filePath(QStringLiteral("messages.txt")),
                             QByteArray("[2026-12-07 01:00:00] an earlier session\n").repeated(4));
        case Writer::Config:
            // more than a page
            return writeFile(QDir(folder).filePath(QStringLiteral("zentaro.cfg")),
                             "[General]\nlanguage=zh\n\n[serial]\nlastBaud=921600\n"
                             "lastPort=/dev/serial/by-id/usb-Gimbal_Controller_0001-if00\n\n[tavox]\nupgradeLastDir=/srv/"
                                 + QByteArray(PageBytes, 'd') + "\n")
                && handOverToNobody();
        case Writer::Snapshot:
            for (int i = 0; i < ParamSnapshots::Kept; ++i) {
                if (!writeFile(QDir(folder).filePath(snapshotName(i)), ParamFile::toJson(Earlier)))
                    return false;
            }
            return true;
        }
        return false;
    }

    // The unprivileged child replaces the configuration on the tmpfs.
    bool handOverToNobody() const
    {
        if (configHome.isEmpty())
            return true;
        const QByteArray file = QFile::encodeName(QDir(folder).filePath(QStringLiteral("zentaro.cfg")));
        return ::chown(QFile::encodeName(folder).constData(), Nobody, Nobody) == 0
            && ::chown(file.constData(), Nobody, Nobody) == 0;
    }

    // In a forked child: "saved" or "failed", then the tool's words, one line each.
    ChildRun save(bool limited) const
    {
        return runInChild([this, limited] {
            if (!configHome.isEmpty()) {
                qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
                if (setgid(Nobody) != 0 || setuid(Nobody) != 0 || QFileInfo(configFilePath()).path() != folder)
                    _exit(Unreachable);
            }
            const auto beforeSave = [limited] {
                if (limited)
                    limitFileSize();
            };
            const Outcome outcome = saveWith(beforeSave);
            liftFileSizeLimit();
            std::printf("%s\n%s\n", outcome.saved ? "saved" : "failed",
                        qPrintable(QString(outcome.report).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        }, ProcessWaitMs);
    }

    Outcome saveWith(const std::function<void()> &beforeSave) const
    {
        switch (writer) {
        case Writer::Params:
            return saveParams(folder, beforeSave);
        case Writer::Journal:
            return saveJournal(folder, beforeSave);
        case Writer::Config:
            return saveConfig(beforeSave);
        case Writer::Snapshot:
            return saveSnapshot(folder, beforeSave);
        }
        return {};
    }
};

QStringList outputLines(const ChildRun &run)
{
    return QString::fromUtf8(run.output).split(QLatin1Char('\n'));
}

// A parameter file as `params save` writes it, with `extra` inserted as a line of its own after the line
// holding `after`; the line numbers of both.
struct EditedFile
{
    QByteArray text;
    int afterLine = 0;
    int extraLine = 0;
};

EditedFile withLineAfter(const QByteArray &text, const QByteArray &after, const QByteArray &extra)
{
    QList<QByteArray> lines = text.split('\n');
    int index = 0;
    while (index < lines.size() && !lines.at(index).contains(after))
        ++index;
    lines.insert(index + 1, extra);
    return {lines.join('\n'), index + 1, index + 2};
}
}

Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Room)

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void saveWithoutRoomFailsAndKeepsTheEarlierFile_data();
    void saveWithoutRoomFailsAndKeepsTheEarlierFile();
    void windowOutlivesTheFileSizeLimit();
    void snapshotNeverReplacesWhatHoldsItsName_data();
    void snapshotNeverReplacesWhatHoldsItsName();
    void pruningRemovesOnlyTheToolsOwnSnapshots();
    void keyGivenTwiceIsRefusedWithItsLine_data();
    void keyGivenTwiceIsRefusedWithItsLine();
    void loadOfAKeyGivenTwiceWritesNothing();
};

void TestFiles::saveWithoutRoomFailsAndKeepsTheEarlierFile_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<Room>("room");
    const QVector<QPair<const char *, Writer>> writers = {{"parameter file", Writer::Params},
                                                          {"message journal", Writer::Journal},
                                                          {"configuration", Writer::Config},
                                                          {"snapshot", Writer::Snapshot}};
    for (const auto &writer : writers) {
        QTest::addRow("%s, full tmpfs", writer.first) << writer.second << Room::FullTmpfs;
        QTest::addRow("%s, file size limit", writer.first) << writer.second << Room::SizeLimit;
    }
    QTest::newRow("configuration, one page left on the tmpfs") << Writer::Config << Room::TmpfsWithOnePageLeft;
}

// Then, with room again, the same save succeeds: the failure came from the room alone.
void TestFiles::saveWithoutRoomFailsAndKeepsTheEarlierFile()
{
    QFETCH(Writer, writer);
    QFETCH(Room, room);
    SmallTmpfs disk;
    QTemporaryDir dir;
    Scene scene {writer, QString(), QString()};
    const bool onTmpfs = room != Room::SizeLimit;
    if (onTmpfs) {
        const QString why = disk.mount();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        scene.folder = QDir(disk.path()).filePath(QStringLiteral("files"));
    } else {
        scene.folder = dir.path();
    }
    if (writer == Writer::Config) {
        scene.configHome = onTmpfs ? scene.folder : QString();
        scene.folder = onTmpfs ? scene.folder + QStringLiteral("/tavox") : configDirectory();
    }
    QVERIFY(scene.prepare());
    QVERIFY(!onTmpfs || disk.fill(room == Room::TmpfsWithOnePageLeft ? 1 : 0));
    const QMap<QString, QByteArray> before = folderContents(scene.folder);

    const ChildRun failed = scene.save(room == Room::SizeLimit);
    if (failed.finished && WIFEXITED(failed.status) && WEXITSTATUS(failed.status) == Unreachable)
        QSKIP("the unprivileged user cannot reach the tmpfs, or may write beside the test executable and keeps its "
              "configuration there");
    QVERIFY2(failed.succeeded(), failed.errors.constData());
    const QStringList lines = outputLines(failed);
    QCOMPARE(lines.value(0), QStringLiteral("failed"));
    const QString reason = QLatin1String(onTmpfs ? NoSpace : TooLarge);
    QVERIFY2(lines.value(1).contains(reason), qPrintable(lines.value(1)));
    QCOMPARE(folderContents(scene.folder), before);

    QVERIFY(!onTmpfs || disk.makeRoom());
    const ChildRun saved = scene.save(false);
    QVERIFY2(saved.succeeded(), saved.errors.constData());
    QCOMPARE(outputLines(saved).value(0), QStringLiteral("saved"));
    QVERIFY(folderContents(scene.folder) != before);
}

// End to end: the program ignores the signal of the limit, so the write fails and it says so.
// The window's log passes the limit while it starts: the write fails, and the window carries on to its first
// frame. A copy of the window in a folder of its own keeps its logs there.
void TestFiles::windowOutlivesTheFileSizeLimit()
{
    QTemporaryDir dir;
    const QString window = dir.filePath(QStringLiteral("tavox"));
    QVERIFY(QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), window));
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    environment.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    // A cache of its own and empty, so the limited run is the one that would fill it.
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));

    const ProgramRun run = runProgram(QStringLiteral("/bin/sh"),
                                      {QStringLiteral("-c"), QStringLiteral("ulimit -f 1; exec \"$0\""), window},
                                      environment, ProcessWaitMs);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("first-frame-ms=")), qPrintable(run.err));
    const QFileInfoList logs = QDir(dir.filePath(QStringLiteral("logs"))).entryInfoList({QStringLiteral("*.log")});
    QCOMPARE(logs.size(), 1);
    // 512 bytes in the blocks of dash, 1024 in those of bash
    QVERIFY2(logs.first().size() > 0 && logs.first().size() <= 1024, qPrintable(QString::number(logs.first().size())));

    // Nothing the limited run left behind keeps the next start from coming up.
    const ProgramRun next = runProgram(window, {}, environment, ProcessWaitMs);
    QVERIFY2(next.exitCode == 0, qPrintable(next.err));
    QVERIFY2(next.err.contains(QStringLiteral("first-frame-ms=")), qPrintable(next.err));
}

void TestFiles::snapshotNeverReplacesWhatHoldsItsName_data()
{
    QTest::addColumn<QString>("planted");   // what holds the next snapshot's name
    QTest::newRow("link to a file of the user") << "link";
    QTest::newRow("link to nothing yet") << "dangling link";
    QTest::newRow("file") << "file";
}

void TestFiles::snapshotNeverReplacesWhatHoldsItsName()
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
    const QString path = ParamSnapshots(folder).save(Later, FirstSnapshot, error);
    QVERIFY(path.isEmpty());
    QCOMPARE(error, QStringLiteral("cannot write %1: %2").arg(name, systemError(EEXIST)));
    QCOMPARE(folderContents(folder), folderBefore);
    QCOMPARE(QFileInfo(name).isSymLink(), planted != "file");
    QCOMPARE(QFileInfo::exists(victim), planted == "link");
    QCOMPARE(readFile(victim), victimBefore);

    // the next second's name is free
    QVERIFY2(!ParamSnapshots(folder).save(Later, FirstSnapshot.addSecs(1), error).isEmpty(), qPrintable(error));
}

// Only regular files named as the tool names its snapshots count: the oldest of those goes, nothing else.
void TestFiles::pruningRemovesOnlyTheToolsOwnSnapshots()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots"));
    QVERIFY(QDir().mkpath(folder));
    const QDir snapshots(folder);
    for (int i = 0; i < ParamSnapshots::Kept; ++i)
        QVERIFY(writeFile(snapshots.filePath(snapshotName(i)), ParamFile::toJson(Earlier)));
    const QStringList foreign {QStringLiteral("notes_x.json"), QStringLiteral("notes_1.json"),
                               QStringLiteral("old notes_20261207-000000.json"),
                               QStringLiteral("v1_2_20261207-000000.json"),
                               QStringLiteral("1.0.0.60_20261399-000000.json"),
                               QStringLiteral("1.0.0.60_20261207-0000.json"),
                               QStringLiteral("1.0.0.60_20261207-000000.json.json")};
    for (const QString &name : foreign)
        QVERIFY(writeFile(snapshots.filePath(name), "not a snapshot\n"));
    const QString linkTarget = dir.filePath(QStringLiteral("elsewhere.json"));
    QVERIFY(writeFile(linkTarget, ParamFile::toJson(Earlier)));
    const QString link = snapshots.filePath(ParamSnapshots::fileName(Firmware, FirstSnapshot.addSecs(-2)));
    QVERIFY(QFile::link(linkTarget, link));
    const QString folderLookAlike = ParamSnapshots::fileName(Firmware, FirstSnapshot.addSecs(-1));
    QVERIFY(snapshots.mkdir(folderLookAlike));
    QMap<QString, QByteArray> expected = folderContents(folder);

    QString error;
    const QString path = ParamSnapshots(folder).save(Later, FirstSnapshot.addSecs(ParamSnapshots::Kept), error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));

    expected.remove(snapshotName(0));
    expected.insert(snapshotName(ParamSnapshots::Kept), ParamFile::toJson(Later));
    QCOMPARE(folderContents(folder), expected);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(linkTarget), ParamFile::toJson(Earlier));
    QCOMPARE(ParamSnapshots(folder).files().size(), ParamSnapshots::Kept);
}

void TestFiles::keyGivenTwiceIsRefusedWithItsLine_data()
{
    QTest::addColumn<QByteArray>("after");   // the line the repeated key follows
    QTest::addColumn<QByteArray>("extra");   // a key of the line's object once more; empty: none, the file loads
    QTest::addColumn<QString>("field");
    QTest::newRow("top level") << QByteArray("\"paramForm\"") << QByteArray("    \"paramForm\": \"base\",")
                               << "paramForm";
    QTest::newRow("in a group") << QByteArray("\"pitchMaxTorque\"") << QByteArray("        \"pitchMaxTorque\": 10,")
                                << "params.gimbal.pitchMaxTorque";
    QTest::newRow("spelt with an escape") << QByteArray("\"fpvMode\"") << QByteArray("        \"fpv\\u004dode\": 1,")
                                          << "params.gimbal.fpvMode";
    QTest::newRow("a whole group") << QByteArray("\"params\"") << QByteArray("        \"camera\": {},")
                                   << "params.camera";
    QTest::newRow("same name in two groups") << QByteArray() << QByteArray() << QString();
}

// QJsonDocument keeps the last of two values silently: the file must not pass for what it does not say.
void TestFiles::keyGivenTwiceIsRefusedWithItsLine()
{
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, extra);
    QFETCH(QString, field);
    const QByteArray saved = ParamFile::toJson(Earlier);
    QVERIFY(saved.count("\"pitchChannel\"") > 1);
    const EditedFile edited = extra.isEmpty() ? EditedFile {saved, 0, 0} : withLineAfter(saved, after, extra);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golden.json"));
    QVERIFY(writeFile(path, edited.text));

    ParamFile::Contents contents;
    ParamFile::Problem problem;
    const bool loaded = ParamFile::load(path, contents, problem);
    QCOMPARE(loaded, field.isEmpty());
    if (loaded)
        return;
    // the line of the key as saved, one further down when the inserted line comes before it
    const QByteArray key = "\"" + field.section(QLatin1Char('.'), -1).toUtf8() + "\"";
    const int savedLine = int(saved.left(saved.indexOf(key)).count('\n')) + 1;
    const int keptLine = savedLine >= edited.extraLine ? savedLine + 1 : savedLine;
    const int first = qMin(keptLine, edited.extraLine);
    const int second = qMax(keptLine, edited.extraLine);
    QCOMPARE(problem.describe(path).en, QStringLiteral("%1, line %2: field %3: given twice (first on line %4)")
                                            .arg(path).arg(second).arg(field).arg(first));
    QCOMPARE(problem.describe(path).zh, QStringLiteral("%1 第 %2 行: 字段 %3: 重复出现 (第 %4 行已有)")
                                            .arg(path).arg(second).arg(field).arg(first));
}

// The command line refuses the file before a single write. The simulator logs every command it receives: the
// same change given once is written, and logged.
void TestFiles::loadOfAKeyGivenTwiceWritesNothing()
{
    SimProcess sim({QStringLiteral("--verbose")});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golden.json"));
    const QStringList port {QStringLiteral("-p"), sim.portName()};
    const ProgramRun saved = runProgram(tavoxctlProgram(), port + QStringList {"params", "save", path}, englishEnvironment(),
                                       ProcessWaitMs);
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    const QByteArray original = readFile(path);
    const QRegularExpressionMatch fpvMode = QRegularExpression(QStringLiteral("\"fpvMode\": (\\d+)"))
                                                .match(QString::fromUtf8(original));
    QVERIFY(fpvMode.hasMatch());
    const QByteArray changed = "        \"fpvMode\": " + QByteArray::number((fpvMode.captured(1).toInt() + 1) % 8) + ",";
    const EditedFile edited = withLineAfter(original, "\"fpvMode\"", changed);
    QVERIFY(writeFile(path, edited.text));

    const QStringList load {QStringLiteral("params"), QStringLiteral("load"), path, QStringLiteral("--yes")};
    const ProgramRun refused = runProgram(tavoxctlProgram(), port + load, englishEnvironment(), ProcessWaitMs);
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains(QStringLiteral("%1, line %2: field params.gimbal.fpvMode: given twice (first on "
                                                 "line %3)").arg(path).arg(edited.extraLine).arg(edited.afterLine)),
             qPrintable(refused.err));
    QCOMPARE(commandsReceived(sim), 0);

    QList<QByteArray> lines = edited.text.split('\n');
    lines.removeAt(edited.afterLine - 1);
    QVERIFY(writeFile(path, lines.join('\n')));
    const ProgramRun written = runProgram(tavoxctlProgram(), port + load, englishEnvironment(), ProcessWaitMs);
    QVERIFY2(written.exitCode == 0, qPrintable(written.err));
    QTRY_VERIFY_WITH_TIMEOUT(commandsReceived(sim) > 0, ProcessWaitMs);
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
