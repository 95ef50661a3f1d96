// The files the tool keeps, on real disks: a save without room leaves what was
// there, snapshots are named, never replace anything and are pruned, and a
// parameter file loads only with every value in range and every key once.
#include "device/ParamFile.h"
#include "device/ParamSnapshots.h"
#include "device/WholeFile.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"

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
enum class Room { FullTmpfs, TmpfsWithOnePageLeft, SizeLimit };

const int PageBytes = 4096;
// Smaller than the file saved, larger than anything a save writes beside it first.
const rlim_t FileSizeLimit = 512;
const QByteArray EarlierBytes(100, 'e');
const QByteArray LaterBytes(3 * PageBytes, 'l');

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

// Every entry of a folder, hidden ones included, with the bytes of each file.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        contents.insert(name, readFile(dir.filePath(name)));
    return contents;
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
            return QStringLiteral("mounting a tmpfs takes root; the file size limit rows cover this write");
        if (!m_base.isValid() || !QDir(m_base.path()).mkdir(QStringLiteral("disk")))
            return QStringLiteral("no temporary folder for the mount point");
        if (::mount("tavox-test", QFile::encodeName(path()).constData(), "tmpfs", 0, "size=128k,mode=0777") != 0)
            return QStringLiteral("tmpfs cannot be mounted here: ") + QString::fromLocal8Bit(std::strerror(errno));
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

// In a forked child, under the file size limit if `limited` (its signal ignored, as the tool's programs
// ignore it): "saved" or the system's reason.
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

Q_DECLARE_METATYPE(Room)

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
    void fileValuesAreTakenUpToTheirLimitOnly_data();
    void fileValuesAreTakenUpToTheirLimitOnly();
    void keyGivenTwiceIsRefusedWithItsLine_data();
    void keyGivenTwiceIsRefusedWithItsLine();
};

// Every file the tool saves is written by one of these two. With room again, the same save succeeds: the
// failure came from the room alone.
void TestParamFiles::saveWithoutRoomFailsAndLeavesTheFolderAsItWas_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<Room>("room");
    QTest::addColumn<QString>("reason");
    for (bool replace : {true, false}) {
        const char *name = replace ? "replace" : "create";
        QTest::addRow("%s, full tmpfs", name) << replace << Room::FullTmpfs << "No space left on device";
        QTest::addRow("%s, file size limit", name) << replace << Room::SizeLimit << "File too large";
    }
    QTest::newRow("replace, one page left on the tmpfs") << true << Room::TmpfsWithOnePageLeft << "No space left on device";
}

void TestParamFiles::saveWithoutRoomFailsAndLeavesTheFolderAsItWas()
{
    QFETCH(bool, replace);
    QFETCH(Room, room);
    QFETCH(QString, reason);
    SmallTmpfs disk;
    QTemporaryDir dir;
    QString folder = dir.path();
    if (room != Room::SizeLimit) {
        const QString why = disk.mount();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        folder = disk.path();
    }
    QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("keep.json")), EarlierBytes));
    QVERIFY(room == Room::SizeLimit || disk.fill(room == Room::TmpfsWithOnePageLeft ? 1 : 0));
    const QMap<QString, QByteArray> before = folderContents(folder);

    QCOMPARE(QString::fromUtf8(save(replace, folder, room == Room::SizeLimit)), reason);
    QCOMPARE(folderContents(folder), before);

    QVERIFY(room == Room::SizeLimit || disk.makeRoom());
    QCOMPARE(save(replace, folder, false), QByteArray("saved"));
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
    QCOMPARE(QFileInfo::exists(victim), planted == "link");
    QCOMPARE(readFile(victim), victimBefore);

    // the next second's name is free
    QVERIFY2(!ParamSnapshots(folder).save(contentsOf(2400), FirstSnapshot.addSecs(1), error).isEmpty(), qPrintable(error));
}

// Only regular files named as the tool names its snapshots count: the oldest of those goes, nothing else.
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

// Each kind of field at its highest value, then one above it; the field's key
// is the only one of its name in a file of that form.
void TestParamFiles::fileValuesAreTakenUpToTheirLimitOnly_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("beyond");
    QTest::addColumn<QString>("range");
    QTest::newRow("torque below") << int(ParamBlockForm::Base) << "gimbal.rollMaxTorque" << 1 << 0 << "1..30000";
    QTest::newRow("torque above") << int(ParamBlockForm::Crsf) << "gimbal.yawMaxTorque" << 30000 << 30001 << "1..30000";
    QTest::newRow("PWM channel") << int(ParamBlockForm::Base) << "pwm.centerChannel" << 3 << 4 << "0..3";
    QTest::newRow("FPV mode") << int(ParamBlockForm::Crsf) << "gimbal.fpvMode" << 7 << 8 << "0..7";
    QTest::newRow("direction") << int(ParamBlockForm::PhotoVideo) << "sbus.rollDirection" << 1 << 2 << "0..1";
}

void TestParamFiles::fileValuesAreTakenUpToTheirLimitOnly()
{
    QFETCH(int, form);
    QFETCH(QString, field);
    QFETCH(int, limit);
    QFETCH(int, beyond);
    QFETCH(QString, range);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("limits.json"));
    ParamFile::Contents written = contentsOf(1);
    written.form = ParamBlockForm(form);
    const QString text = QString::fromUtf8(ParamFile::toJson(written));
    const QString key = field.section(QLatin1Char('.'), 1);
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\"%1\": \\d+").arg(key)).match(text);
    QVERIFY(match.hasMatch());
    const int line = text.left(match.capturedStart()).count(QLatin1Char('\n')) + 1;
    const auto withValue = [&](int value) {
        return QString(text).replace(match.capturedStart(), match.capturedLength(), QStringLiteral("\"%1\": %2").arg(key).arg(value));
    };

    ParamFile::Contents read;
    ParamFile::Problem problem;
    QVERIFY(writeFile(path, withValue(limit).toUtf8()));
    QVERIFY2(ParamFile::load(path, read, problem), qPrintable(problem.describe(path).en));
    QCOMPARE(ParamFile::value(read.block, field), limit);

    QVERIFY(writeFile(path, withValue(beyond).toUtf8()));
    QVERIFY(!ParamFile::load(path, read, problem));
    QCOMPARE(problem.describe(path).en, QStringLiteral("%1, line %2: field params.%3: value %4 out of range %5")
                                            .arg(path).arg(line).arg(field).arg(beyond).arg(range));
    QCOMPARE(ParamFile::value(read.block, field), limit);   // a refused file changes nothing read before
}

void TestParamFiles::keyGivenTwiceIsRefusedWithItsLine_data()
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
void TestParamFiles::keyGivenTwiceIsRefusedWithItsLine()
{
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, extra);
    QFETCH(QString, field);
    const QByteArray saved = ParamFile::toJson(contentsOf(1200));
    QVERIFY(saved.count("\"pitchChannel\"") > 1);
    QList<QByteArray> lines = saved.split('\n');
    int extraLine = 0;
    if (!extra.isEmpty()) {
        while (extraLine < lines.size() && !lines.at(extraLine).contains(after))
            ++extraLine;
        lines.insert(++extraLine, extra);
        ++extraLine;   // counted from 1
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golden.json"));
    QVERIFY(writeFile(path, lines.join('\n')));

    ParamFile::Contents contents;
    ParamFile::Problem problem;
    const bool loaded = ParamFile::load(path, contents, problem);
    QCOMPARE(loaded, field.isEmpty());
    if (loaded)
        return;
    // the line of the key as saved, one further down when the inserted line comes before it
    const QByteArray key = "\"" + field.section(QLatin1Char('.'), -1).toUtf8() + "\"";
    const int savedLine = int(saved.left(saved.indexOf(key)).count('\n')) + 1;
    const int keptLine = savedLine >= extraLine ? savedLine + 1 : savedLine;
    const int first = qMin(keptLine, extraLine);
    const int second = qMax(keptLine, extraLine);
    QCOMPARE(problem.describe(path).en, QStringLiteral("%1, line %2: field %3: given twice (first on line %4)")
                                            .arg(path).arg(second).arg(field).arg(first));
    QCOMPARE(problem.describe(path).zh, QStringLiteral("%1 第 %2 行: 字段 %3: 重复出现 (第 %4 行已有)")
                                            .arg(path).arg(second).arg(field).arg(first));
}

QTEST_GUILESS_MAIN(TestParamFiles)
#include "tst_paramfiles.moc"
