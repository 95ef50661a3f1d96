// cmake --install into a temporary prefix every user may write, then the
// installed programs run as the test's user and, when that is root, as the
// unprivileged user "nobody": the installed layout alone keeps zentaro.cfg and
// logs/ in the user's standard locations, and nothing is written under the
// prefix. What the installed files are is the package test's business.
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
const int InstallTimeoutMs = 120000;
const int RunTimeoutMs = 60000;
const char NobodyId[] = "65534";

// Who runs the installed programs: the test's own user (root or not), or "nobody" when that is root.
enum class User { TestsOwn, Nobody };

void addUserRows()
{
    QTest::addColumn<User>("user");
    if (::geteuid() == 0) {
        QTest::newRow("as root") << User::TestsOwn;
        QTest::newRow("as an ordinary user") << User::Nobody;
    } else {
        QTest::newRow("as an ordinary user") << User::TestsOwn;
    }
}

// Every entry below `root` with its size and modification time: an entry made, removed or written changes it,
// and so does its folder's time.
QMap<QString, QString> treeState(const QString &root)
{
    QMap<QString, QString> state;
    QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry(entries.next());
        state.insert(entry.filePath().mid(root.size()),
                     QStringLiteral("%1 bytes, %2").arg(entry.size()).arg(entry.lastModified().toMSecsSinceEpoch()));
    }
    return state;
}

QStringList changesBetween(const QMap<QString, QString> &before, const QMap<QString, QString> &after)
{
    QStringList changes;
    for (auto entry = after.cbegin(); entry != after.cend(); ++entry) {
        if (!before.contains(entry.key()))
            changes << QStringLiteral("new: ") + entry.key();
        else if (before.value(entry.key()) != entry.value())
            changes << QStringLiteral("changed: ") + entry.key();
    }
    for (auto entry = before.cbegin(); entry != before.cend(); ++entry) {
        if (!after.contains(entry.key()))
            changes << QStringLiteral("removed: ") + entry.key();
    }
    return changes;
}

bool makeWorldAccessible(const QString &path, QFile::Permissions extra = {})
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                           | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther | extra);
}
}

Q_DECLARE_METATYPE(User)

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedProgramsKeepTheirFilesInStandardLocations_data() { addUserRows(); }
    void installedProgramsKeepTheirFilesInStandardLocations();

private:
    ProgramRun runInstalled(const QString &program, const QStringList &arguments, User user,
                     const QProcessEnvironment &extra = {});
    void shareLeakSuppressions(QProcessEnvironment &environment) const;
    QString prefixPath(const QString &relative) const { return m_dir.filePath(QStringLiteral("prefix/") + relative); }
    // Each user's own home, so that one user's files never stand in another's way.
    QString home(User user) const { return m_dir.filePath(user == User::Nobody ? "home-nobody" : "home-own"); }
    QString configHome(User user) const { return home(user) + QStringLiteral("/config"); }
    QString dataHome(User user) const { return home(user) + QStringLiteral("/data"); }

    QTemporaryDir m_dir;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(makeWorldAccessible(m_dir.path()));
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(TAVOX_CMAKE_COMMAND),
                  {"--install", TAVOX_BINARY_DIR, "--prefix", m_dir.filePath(QStringLiteral("prefix"))});
    QVERIFY(install.waitForFinished(InstallTimeoutMs));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());

    // Writable for whoever runs the installed programs, and so is every folder of the prefix: only its layout
    // can keep the programs from writing there.
    const QFile::Permissions everyoneWrites = QFile::WriteGroup | QFile::WriteOther;
    for (User user : {User::TestsOwn, User::Nobody}) {
        for (const QString &folder : {home(user), configHome(user), dataHome(user), home(user) + "/cache"}) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(makeWorldAccessible(folder, everyoneWrites));
        }
    }
    QVERIFY(makeWorldAccessible(prefixPath(QString()), everyoneWrites));
    QDirIterator folders(prefixPath(QString()), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (folders.hasNext())
        QVERIFY(makeWorldAccessible(folders.next(), everyoneWrites));
}

// The sanitizer build names its leak suppressions in LSAN_OPTIONS, inside the
// checkout, which may lie in a folder only its owner may enter: the programs
// run as "nobody" get a copy they can read, or they report every leak of Qt's.
void TestInstall::shareLeakSuppressions(QProcessEnvironment &environment) const
{
    if (!environment.contains(QStringLiteral("LSAN_OPTIONS")))
        return;
    QStringList options = environment.value(QStringLiteral("LSAN_OPTIONS")).split(QLatin1Char(':'));
    for (QString &option : options) {
        if (!option.startsWith(QLatin1String("suppressions=")))
            continue;
        const QString shared = m_dir.filePath(QStringLiteral("lsan.supp"));
        if (!QFile::exists(shared) && QFile::copy(option.section(QLatin1Char('='), 1), shared))
            QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        option = QStringLiteral("suppressions=") + shared;
    }
    environment.insert(QStringLiteral("LSAN_OPTIONS"), options.join(QLatin1Char(':')));
}

ProgramRun TestInstall::runInstalled(const QString &program, const QStringList &arguments, User user,
                              const QProcessEnvironment &extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home(user));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome(user));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome(user));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home(user) + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(extra);
    shareLeakSuppressions(environment);

    QString executable = prefixPath(QStringLiteral("bin/") + program);
    QStringList fullArguments = arguments;
    if (user == User::Nobody) {
        fullArguments = QStringList{"--reuid", NobodyId, "--regid", NobodyId, "--clear-groups", executable} + arguments;
        executable = QStringLiteral("setpriv");
    }
    return runProgram(executable, fullArguments, environment, RunTimeoutMs);
}

// The configuration an earlier build left beside the program, where it may
// have written as root, is not read: the command line takes the language of
// the user's own; the window logs where that configuration is.
void TestInstall::installedProgramsKeepTheirFilesInStandardLocations()
{
    QFETCH(User, user);
    const QString leftOver = prefixPath(QStringLiteral("bin/zentaro.cfg"));
    QVERIFY(writeFile(leftOver, "[General]\nlanguage=en\n"));
    const QString config = configHome(user) + QStringLiteral("/tavox/zentaro.cfg");
    QVERIFY(QDir().mkpath(QFileInfo(config).path()));
    QVERIFY(writeFile(config, "[General]\nlanguage=zh\n"));
    const QMap<QString, QString> before = treeState(prefixPath(QString()));

    const ProgramRun ctl = runInstalled(QStringLiteral("tavoxctl"), {"-p", "/dev/tavox-no-such-port", "info"}, user);
    QCOMPARE(ctl.exitCode, 3);
    QVERIFY2(ctl.err.contains(QStringLiteral("无法打开串口")), qPrintable(ctl.err));
    QVERIFY(QFile::remove(config));

    QProcessEnvironment offscreen;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    offscreen.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    offscreen.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    const ProgramRun window = runInstalled(QStringLiteral("tavox"), {}, user, offscreen);
    QVERIFY2(window.exitCode == 0 && window.err.contains(QLatin1String("first-frame-ms=")),
             qPrintable(window.out + window.err));
    QDirIterator logs(dataHome(user) + QStringLiteral("/tavox/logs"), {QStringLiteral("tavox_*.log")}, QDir::Files);
    QVERIFY(logs.hasNext());
    const QString log = QString::fromUtf8(readFile(logs.next()));
    QVERIFY2(log.contains(QStringLiteral("Config file=") + config), qPrintable(log));

    const QStringList changes = changesBetween(before, treeState(prefixPath(QString())));
    QVERIFY2(changes.isEmpty(), qPrintable(changes.join(QStringLiteral("; "))));
    QVERIFY(QFile::remove(leftOver));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
