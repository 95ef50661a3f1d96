// cmake --install into a temporary prefix, then the installed programs run
// from a folder their user cannot write: zentaro.cfg and logs/ must come from
// the user's standard locations. As root every folder is writable, so the
// installed programs then run as the unprivileged user "nobody".
#include "app/Version.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
const int InstallTimeoutMs = 120000;
const int RunTimeoutMs = 60000;
const char NobodyId[] = "65534";

using Run = ProgramRun;

bool makeWorldAccessible(const QString &path, QFile::Permissions extra = {})
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                           | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther | extra);
}
}

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsProgramsDesktopEntryAndIcons();
    void installedCommandLineReadsStandardConfiguration();
    void installedWindowKeepsItsFilesInStandardLocations();

private:
    Run runInstalled(const QString &program, const QStringList &arguments, const QProcessEnvironment &extra = {});
    void shareLeakSuppressions(QProcessEnvironment &environment) const;
    QString prefixPath(const QString &relative) const { return m_dir.filePath(QStringLiteral("prefix/") + relative); }
    QString configHome() const { return m_dir.filePath(QStringLiteral("home/config")); }
    QString dataHome() const { return m_dir.filePath(QStringLiteral("home/data")); }

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

    // Writable for whoever runs the installed programs; the install folder is not.
    const QFile::Permissions everyoneWrites = QFile::WriteGroup | QFile::WriteOther;
    for (const QString &folder : {QStringLiteral("home"), QStringLiteral("home/config"), QStringLiteral("home/data"),
                                  QStringLiteral("home/cache")}) {
        QVERIFY(QDir(m_dir.path()).mkpath(folder));
        QVERIFY(makeWorldAccessible(m_dir.filePath(folder), everyoneWrites));
    }
    QVERIFY(QFile::setPermissions(prefixPath(QStringLiteral("bin")),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther));
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

Run TestInstall::runInstalled(const QString &program, const QStringList &arguments, const QProcessEnvironment &extra)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("home/cache")));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(extra);
    shareLeakSuppressions(environment);

    QString executable = prefixPath(QStringLiteral("bin/") + program);
    QStringList fullArguments = arguments;
    if (::geteuid() == 0) {
        fullArguments = QStringList{"--reuid", NobodyId, "--regid", NobodyId, "--clear-groups", executable} + arguments;
        executable = QStringLiteral("setpriv");
    }
    return runProgram(executable, fullArguments, environment, RunTimeoutMs);
}

void TestInstall::installsProgramsDesktopEntryAndIcons()
{
    for (const char *program : {"bin/tavox", "bin/tavoxctl", "bin/tavox-sim"})
        QVERIFY2(QFileInfo(prefixPath(QLatin1String(program))).isExecutable(), program);
    const QByteArray entry = readFile(prefixPath(QStringLiteral("share/applications/tavox.desktop")));
    QVERIFY(entry.contains("\nExec=tavox\n"));
    QVERIFY(entry.contains("\nIcon=tavox\n"));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString icon = prefixPath(QStringLiteral("share/icons/hicolor/%1x%1/apps/tavox.png").arg(size));
        QCOMPARE(QImage(icon).size(), QSize(size, size));
    }
}

void TestInstall::installedCommandLineReadsStandardConfiguration()
{
    const Run version = runInstalled(QStringLiteral("tavoxctl"), {QStringLiteral("--version")});
    QVERIFY2(version.exitCode == 0, qPrintable(version.err));
    QCOMPARE(version.out.trimmed(), QStringLiteral("tavoxctl ") + tavoxVersion());

    QVERIFY(QDir(configHome()).mkpath(QStringLiteral("tavox")));
    QFile config(configHome() + QStringLiteral("/tavox/zentaro.cfg"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    QVERIFY(config.write("[General]\nlanguage=zh\n") > 0);
    config.close();
    const Run run = runInstalled(QStringLiteral("tavoxctl"), {"-p", "/dev/tavox-no-such-port", "info"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(QStringLiteral("无法打开串口")), qPrintable(run.err));
    QVERIFY(config.remove());
}

void TestInstall::installedWindowKeepsItsFilesInStandardLocations()
{
    QProcessEnvironment offscreen;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    offscreen.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    offscreen.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    const Run run = runInstalled(QStringLiteral("tavox"), {}, offscreen);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    QVERIFY2(run.err.contains(QLatin1String("first-frame-ms=")), qPrintable(run.err));

    QDirIterator logs(dataHome() + QStringLiteral("/tavox/logs"), {QStringLiteral("tavox_*.log")}, QDir::Files);
    QVERIFY2(logs.hasNext(), "no log file in the standard data location");
    const QString log = QString::fromUtf8(readFile(logs.next()));
    QVERIFY2(log.contains(QStringLiteral("Config file=") + configHome() + QStringLiteral("/tavox/zentaro.cfg")),
             qPrintable(log));
    QVERIFY(!QFileInfo::exists(prefixPath(QStringLiteral("bin/logs"))));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
