// The Debian package as the archive would build it: dpkg-buildpackage makes
// the source and binary packages twice from copies of the checkout, in two
// folders of different depth, under different umasks and time zones, minutes
// apart; the first runs the test suite at build time, the second does not.
// Both must give the same bytes, and Debian's tools judge the first.
#include "app/Version.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int BuildTimeoutMs = 45 * 60 * 1000;
const int LintianTimeoutMs = 10 * 60 * 1000;

struct Build
{
    QString folder;
    QString umask;
    QString timeZone;
    QString options;
};

ProgramRun run(const QString &program, const QStringList &arguments, int timeoutMs = 60000)
{
    return runProgram(program, arguments, englishEnvironment(), timeoutMs);
}

QString describe(const ProgramRun &result)
{
    return QStringLiteral("exit %1\n%2%3").arg(result.exitCode).arg(result.out.right(8000), result.err.right(8000));
}

bool isElf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "\x7f" "ELF";
}

// Installed itself, or provided by an installed package (as Qt's private ABI
// names, qtdeclarative-abi-5-15-8, are).
bool installedOrProvided(const QString &name)
{
    const ProgramRun query = run(QStringLiteral("dpkg-query"), {"-W", "-f", "${Status}|${Package}|${Provides}\n"});
    for (const QString &line : query.out.split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.size() != 3 || !fields[0].endsWith(QLatin1String("install ok installed")))
            continue;
        if (fields[1] == name)
            return true;
        for (const QString &provided : fields[2].split(QLatin1Char(',')))
            if (provided.trimmed().section(QLatin1Char(' '), 0, 0) == name)
                return true;
    }
    return false;
}
}

class TestSourcePackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoBuildsGiveTheSameBytes();
    void lintianFindsNoErrorsNorWarnings();
    void dependenciesAreInstallable();
    void everyElfFileHasItsDebugSymbols();
    void copyrightAndChangelog();
    void autopkgtestPassesAgainstTheUnpackedPackage();

private:
    QString sourceName() const { return QStringLiteral("tavox-") + tavoxVersion(); }
    QString artefact(const QString &folder, const QString &name) const;
    QString unpacked(const QString &relative) const { return m_dir.filePath(QStringLiteral("root/") + relative); }
    void copyCheckout(const QString &destination);
    void build(const Build &build);

    QTemporaryDir m_dir;
    const Build m_first{QStringLiteral("a"), QStringLiteral("022"), QStringLiteral("UTC"), QString()};
    const Build m_second{QStringLiteral("second/build/folder"), QStringLiteral("077"), QStringLiteral("Asia/Shanghai"),
                         QStringLiteral("nocheck")};
};

QString TestSourcePackage::artefact(const QString &folder, const QString &name) const
{
    return m_dir.filePath(folder + QLatin1Char('/') + name.arg(tavoxVersion()));
}

// What git would commit: tracked files that still exist and new ones it does not ignore.
void TestSourcePackage::copyCheckout(const QString &destination)
{
    const ProgramRun files = run(QStringLiteral("git"), {"-C", TAVOX_SOURCE_DIR, "ls-files", "--cached", "--others",
                                                        "--exclude-standard"});
    QVERIFY2(files.exitCode == 0, qPrintable(describe(files)));
    for (const QString &file : files.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString source = QStringLiteral(TAVOX_SOURCE_DIR "/") + file;
        if (!QFileInfo::exists(source))
            continue;
        const QString target = destination + QLatin1Char('/') + file;
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        QVERIFY2(QFile::copy(source, target), qPrintable(file));
    }
}

void TestSourcePackage::build(const Build &build)
{
    const QString source = m_dir.filePath(build.folder + QLatin1Char('/') + sourceName());
    copyCheckout(source);
    if (QTest::currentTestFailed())
        return;
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("TZ"), build.timeZone);
    environment.insert(QStringLiteral("DEB_BUILD_OPTIONS"),
                       QStringLiteral("parallel=%1 %2").arg(QThread::idealThreadCount()).arg(build.options));
    QProcess dpkg;
    dpkg.setProcessEnvironment(environment);
    dpkg.setWorkingDirectory(source);
    dpkg.setProcessChannelMode(QProcess::MergedChannels);
    dpkg.setStandardOutputFile(m_dir.filePath(build.folder + QStringLiteral("/build.log")));
    dpkg.start(QStringLiteral("sh"), {"-c", "umask " + build.umask + " && exec dpkg-buildpackage -us -uc"});
    const bool finished = dpkg.waitForFinished(BuildTimeoutMs);
    if (finished && dpkg.exitStatus() == QProcess::NormalExit && dpkg.exitCode() == 0)
        return;
    // A failure message is cut short: the end of the build's log goes out whole before it.
    qInfo("%s", readFile(m_dir.filePath(build.folder + QStringLiteral("/build.log"))).right(20000).constData());
    QFAIL("dpkg-buildpackage failed");
}

void TestSourcePackage::initTestCase()
{
    if (!QFileInfo::exists(QStringLiteral(TAVOX_SOURCE_DIR "/.git")))
        QSKIP("not a git checkout: the package is built from one");
    for (const Build &each : {m_first, m_second}) {
        build(each);
        if (QTest::currentTestFailed())
            return;
    }
    const ProgramRun extract = run(QStringLiteral("dpkg-deb"),
                                   {"-x", artefact(m_first.folder, "tavox_%1_amd64.deb"), m_dir.filePath("root")});
    QVERIFY2(extract.exitCode == 0, qPrintable(describe(extract)));
    const ProgramRun debug = run(QStringLiteral("dpkg-deb"), {"-x", artefact(m_first.folder, "tavox-dbgsym_%1_amd64.deb"),
                                                              m_dir.filePath("root")});
    QVERIFY2(debug.exitCode == 0, qPrintable(describe(debug)));
}

// diffoscope, where it is installed, says what differs.
void TestSourcePackage::twoBuildsGiveTheSameBytes()
{
    for (const char *name : {"tavox_%1_amd64.deb", "tavox-dbgsym_%1_amd64.deb", "tavox_%1.tar.xz"}) {
        const QString first = artefact(m_first.folder, QLatin1String(name));
        const QString second = artefact(m_second.folder, QLatin1String(name));
        if (readFile(first) == readFile(second) && QFileInfo(first).size() > 0)
            continue;
        const ProgramRun differences = run(QStringLiteral("diffoscope"), {"--text", "-", first, second}, LintianTimeoutMs);
        QFAIL(qPrintable(QStringLiteral("%1 differs\n").arg(QLatin1String(name)) + describe(differences)));
    }
}

// Pedantic and informational tags may stay; each is printed so that a run shows them.
void TestSourcePackage::lintianFindsNoErrorsNorWarnings()
{
    const ProgramRun lintian = run(QStringLiteral("lintian"),
                                   {"--pedantic", "--display-info", "--tag-display-limit", "0",
                                    artefact(m_first.folder, "tavox_%1_amd64.changes")},
                                   LintianTimeoutMs);
    QVERIFY2(lintian.exitCode == 0, qPrintable(describe(lintian)));
    QStringList findings;
    for (const QString &line : lintian.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
            findings << line;
        else if (!line.isEmpty())
            qInfo("%s", qPrintable(line));
    }
    QVERIFY2(findings.isEmpty(), qPrintable(findings.join(QLatin1Char('\n'))));
}

// Each dependency, or one of its alternatives, is on this machine; none is named twice.
void TestSourcePackage::dependenciesAreInstallable()
{
    const QString package = artefact(m_first.folder, "tavox_%1_amd64.deb");
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-f", package, "Version"}).out.trimmed(), tavoxVersion());
    const QString depends = run(QStringLiteral("dpkg-deb"), {"-f", package, "Depends"}).out.simplified();
    QVERIFY2(depends.contains(QLatin1String("fonts-noto-cjk | fonts-wqy-microhei")) && depends.contains(QLatin1String("libqt5quick5")),
             qPrintable(depends));
    QStringList names;
    for (const QString &entry : depends.split(QLatin1Char(','))) {
        bool any = false;
        for (const QString &alternative : entry.split(QLatin1Char('|'))) {
            const QString name = alternative.trimmed().section(QLatin1Char(' '), 0, 0);
            QVERIFY2(!names.contains(name), qPrintable(name + QStringLiteral(" twice in ") + depends));
            names << name;
            any = any || installedOrProvided(name);
        }
        QVERIFY2(any, qPrintable(entry));
    }
}

// Stripped as Debian strips (no symbol table, no .comment), with the debug
// information of each file in the -dbgsym package under its build ID.
void TestSourcePackage::everyElfFileHasItsDebugSymbols()
{
    int elfFiles = 0;
    QDirIterator files(unpacked(QStringLiteral("usr")), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (path.contains(QLatin1String("/usr/lib/debug/")) || !isElf(path))
            continue;
        ++elfFiles;
        const QString sections = run(QStringLiteral("readelf"), {"-W", "--section-headers", "--notes", path}).out;
        QVERIFY2(!sections.contains(QLatin1String(" .comment ")) && !sections.contains(QLatin1String(" .symtab ")),
                 qPrintable(path));
        const QString buildId = QRegularExpression(QStringLiteral("Build ID: ([0-9a-f]+)")).match(sections).captured(1);
        QVERIFY2(buildId.size() > 2, qPrintable(path));
        const QString debugFile = unpacked(QStringLiteral("usr/lib/debug/.build-id/%1/%2.debug").arg(buildId.left(2), buildId.mid(2)));
        QVERIFY2(run(QStringLiteral("readelf"), {"-W", "--section-headers", debugFile}).out.contains(QLatin1String(".debug_info")),
                 qPrintable(path + QStringLiteral(": ") + debugFile));
    }
    QVERIFY(elfFiles >= 12);
}

void TestSourcePackage::copyrightAndChangelog()
{
    // The repository's licence is the standard text, as Debian keeps it.
    const QByteArray licence = readFile(QStringLiteral(TAVOX_SOURCE_DIR "/LICENSE"));
    QVERIFY(!licence.isEmpty());
    QCOMPARE(licence, readFile(QStringLiteral("/usr/share/common-licenses/Apache-2.0")));

    const QString copyright = QString::fromUtf8(readFile(unpacked(QStringLiteral("usr/share/doc/tavox/copyright"))));
    QVERIFY2(copyright.contains(QLatin1String("\nFiles: *\nCopyright: ")), qPrintable(copyright));
    QRegularExpressionMatchIterator patterns =
        QRegularExpression(QStringLiteral("^Files: (.+)$"), QRegularExpression::MultilineOption).globalMatch(copyright);
    while (patterns.hasNext()) {
        for (const QString &pattern : patterns.next().captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QFileInfo folder(QStringLiteral(TAVOX_SOURCE_DIR "/") + pattern.section(QLatin1Char('/'), 0, -2));
            QVERIFY2(!QDir(folder.filePath()).entryList({pattern.section(QLatin1Char('/'), -1)}, QDir::Files).isEmpty(),
                     qPrintable(pattern));
        }
    }

    const ProgramRun changelog = run(QStringLiteral("gzip"), {"-dc", unpacked(QStringLiteral("usr/share/doc/tavox/changelog.gz"))});
    QVERIFY2(changelog.exitCode == 0, qPrintable(describe(changelog)));
    QCOMPARE(QRegularExpression(QStringLiteral("^tavox \\(([^)]+)\\)")).match(changelog.out).captured(1), tavoxVersion());
}

// The package's own autopkgtest, with the unpacked programs first on the path.
void TestSourcePackage::autopkgtestPassesAgainstTheUnpackedPackage()
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("PATH"), unpacked(QStringLiteral("usr/bin:")) + environment.value(QStringLiteral("PATH")));
    QTemporaryDir work;
    environment.insert(QStringLiteral("AUTOPKGTEST_TMP"), work.path());
    environment.insert(QStringLiteral("HOME"), work.path());
    const ProgramRun test = runProgram(QStringLiteral(TAVOX_SOURCE_DIR "/debian/tests/tavoxctl-against-simulator"), {},
                                       environment, 120000);
    QVERIFY2(test.exitCode == 0 && test.out.contains(QLatin1String("passed")), qPrintable(describe(test)));
}

QTEST_GUILESS_MAIN(TestSourcePackage)
#include "tst_sourcepackage.moc"
