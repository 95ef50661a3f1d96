// What `cmake --install` lays down, as Debian's own tools and the programs'
// users judge it: the build tree is installed under /usr into a root of its
// own, as the package would put it on a fresh machine. The package itself, as
// dpkg-buildpackage makes it, is judged by tst_sourcepackage.
#include "app/Version.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
#ifdef TAVOX_SANITIZED_BUILD
// Fortified calls would go around AddressSanitizer's interceptors, so its build has none.
const bool Fortified = false;
#else
const bool Fortified = true;
#endif

using Words = QSet<QString>;

ProgramRun run(const QString &program, const QStringList &arguments, int timeoutMs = 60000)
{
    return runProgram(program, arguments, englishEnvironment(), timeoutMs);
}

QString describe(const ProgramRun &result)
{
    return QStringLiteral("exit %1\n%2%3").arg(result.exitCode).arg(result.out, result.err);
}

Words toSet(const QStringList &list)
{
    return Words(list.cbegin(), list.cend());
}

QString sorted(const Words &words)
{
    QStringList list = words.values();
    list.sort();
    return list.join(QLatin1Char(' '));
}

// The lines of `text` from the one equal to `heading` (or starting with it) to
// the next line that starts at the left margin.
QStringList section(const QString &text, const QString &heading)
{
    QStringList lines;
    bool inside = false;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (inside && !line.isEmpty() && !line.at(0).isSpace())
            break;
        if (inside)
            lines << line;
        if (line.startsWith(heading))
            inside = true;
    }
    return lines;
}

// Option names at the start of lines indented by `indent`: "-p, --port <PORT>".
Words optionsAt(const QStringList &lines, int indent)
{
    const QRegularExpression entry(QStringLiteral("^ {%1}(-[\\w-]+(?:, -[\\w-]+)*)").arg(indent));
    Words options;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch())
            for (const QString &name : match.captured(1).split(QStringLiteral(", ")))
                options << name;
    }
    return options;
}

// Commands at the start of lines indented by `indent`: "params load FILE [--dry-run]".
QStringList commandLinesAt(const QStringList &lines, int indent)
{
    const QRegularExpression entry(QStringLiteral("^ {%1}[a-z]").arg(indent));
    QStringList commands;
    for (const QString &line : lines)
        if (entry.match(line).hasMatch())
            commands << line.trimmed();
    return commands;
}

QString commandName(const QString &commandLine)
{
    return QRegularExpression(QStringLiteral("^[a-z]+(?: [a-z]+)*")).match(commandLine).captured(0);
}

Words commandNames(const QStringList &commandLines)
{
    Words names;
    for (const QString &line : commandLines)
        names << commandName(line);
    return names;
}

Words captures(const QString &text, const QString &pattern, int group = 0)
{
    Words words;
    QRegularExpressionMatchIterator it =
        QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text);
    while (it.hasNext())
        words << it.next().captured(group);
    return words;
}

// The options a command line of the help offers in brackets: "[--seconds N]".
Words bracketedOptions(const QString &commandLine)
{
    return captures(commandLine, QStringLiteral("\\[(--[\\w-]+)"), 1);
}

Words longOptionsIn(const QString &text)
{
    return captures(text, QStringLiteral("(?<![\\w-])--[a-z][a-z0-9-]*"));
}

// What the scripts the manual shows take: the "--no-sim)" of their argument loops.
Words scriptOptions()
{
    Words options;
    const QDir scripts(QStringLiteral(TAVOX_SOURCE_DIR "/scripts"));
    for (const QString &name : scripts.entryList(QDir::Files))
        options += captures(QString::fromUtf8(readFile(scripts.filePath(name))), QStringLiteral("^\\s*(--[a-z][a-z0-9-]*)\\)"), 1);
    return options;
}

enum class User { TestsOwn, Nobody };

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

bool makeWorldAccessible(const QString &path, QFile::Permissions extra = {})
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                           | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther | extra);
}
}

Q_DECLARE_METATYPE(User)

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void desktopEntryAndMetadataValidate();
    void scalableIconIsTheDrawingOfTheSizes();
    void everyElfFileBindsNowAndIsFortified();
    void manualPagesCarryEveryOptionOfTheHelp_data();
    void manualPagesCarryEveryOptionOfTheHelp();
    void completionFollowsTheHelp();
    void completionOffersPortsAndFiles();
    void udevRuleOpensTheDocumentedAdapters();
    void unpackedProgramsKeepTheirFilesInStandardLocations_data();
    void unpackedProgramsKeepTheirFilesInStandardLocations();

private:
    QString rootPath(const QString &relative) const { return m_dir.filePath(QStringLiteral("root/") + relative); }
    ProgramRun help(const QString &program) const;
    QStringList complete(const QStringList &words, const QProcessEnvironment &environment = englishEnvironment()) const;
    ProgramRun runUnpacked(const QString &program, User user, const QProcessEnvironment &extra = {}) const;
    void shareLeakSuppressions(QProcessEnvironment &environment) const;
    // Each user's own home, so that one user's files never stand in another's way.
    QString home(User user) const { return m_dir.filePath(user == User::Nobody ? "home-nobody" : "home-own"); }

    QTemporaryDir m_dir;
};

void TestPackage::initTestCase()
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_dir.filePath(QStringLiteral("root")));
    const ProgramRun install = runProgram(QStringLiteral(TAVOX_CMAKE_COMMAND),
                                          {"--install", TAVOX_BINARY_DIR, "--prefix", "/usr"}, environment);
    QVERIFY2(install.exitCode == 0, qPrintable(describe(install)));
}

void TestPackage::desktopEntryAndMetadataValidate()
{
    const ProgramRun entry = run(QStringLiteral("desktop-file-validate"),
                                 {rootPath(QStringLiteral("usr/share/applications/tavox.desktop"))});
    QVERIFY2(entry.exitCode == 0 && entry.out.isEmpty() && entry.err.isEmpty(), qPrintable(describe(entry)));
    const QByteArray desktop = readFile(rootPath(QStringLiteral("usr/share/applications/tavox.desktop")));
    QVERIFY(desktop.contains("\nExec=tavox\n") && desktop.contains("\nIcon=tavox\n"));

    const QStringList metadata = QDir(rootPath(QStringLiteral("usr/share/metainfo")))
                                     .entryList({QStringLiteral("*.metainfo.xml")}, QDir::Files);
    QCOMPARE(metadata.size(), 1);
    const QString metadataPath = rootPath(QStringLiteral("usr/share/metainfo/") + metadata.first());
    const ProgramRun validation = run(QStringLiteral("appstreamcli"), {"validate", "--no-net", "--pedantic", metadataPath});
    QVERIFY2(validation.exitCode == 0 && !validation.out.contains(QRegularExpression(QStringLiteral("^[EWIP]: "),
                                                                                      QRegularExpression::MultilineOption)),
             qPrintable(describe(validation)));

    // The component is the one the desktop entry starts, and its newest release is this one.
    const QString xml = QString::fromUtf8(readFile(metadataPath));
    QCOMPARE(metadata.first(), QRegularExpression(QStringLiteral("<id>([^<]+)</id>")).match(xml).captured(1)
                                   + QStringLiteral(".metainfo.xml"));
    QVERIFY2(xml.contains(QLatin1String("<launchable type=\"desktop-id\">tavox.desktop</launchable>")), qPrintable(xml));
    QCOMPARE(QRegularExpression(QStringLiteral("<release version=\"([^\"]+)\"")).match(xml).captured(1), tavoxVersion());
}

// The PNG sizes are rendered from the same drawing by rsvg-convert; Qt's
// renderer smooths edges a little differently, nothing more.
void TestPackage::scalableIconIsTheDrawingOfTheSizes()
{
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        QCOMPARE(QImage(rootPath(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/tavox.png").arg(size))).size(),
                 QSize(size, size));
    QImageReader reader(rootPath(QStringLiteral("usr/share/icons/hicolor/scalable/apps/tavox.svg")));
    reader.setScaledSize(QSize(256, 256));
    const QImage drawn = reader.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!drawn.isNull(), qPrintable(reader.errorString()));
    const QImage rendered = QImage(rootPath(QStringLiteral("usr/share/icons/hicolor/256x256/apps/tavox.png")))
                                .convertToFormat(QImage::Format_ARGB32);

    qint64 difference = 0;
    int pixelsApart = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb a = drawn.pixel(x, y);
            const QRgb b = rendered.pixel(x, y);
            const int apart = qMax(qMax(qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b))),
                                   qMax(qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))));
            difference += apart;
            pixelsApart += apart > 64 ? 1 : 0;
        }
    }
    const double meanDifference = double(difference) / (drawn.width() * drawn.height());
    QVERIFY2(meanDifference < 2.0 && pixelsApart < 200,
             qPrintable(QStringLiteral("mean difference %1, %2 pixels apart").arg(meanDifference).arg(pixelsApart)));
}

// What Debian's hardening flags leave in a binary that lintian only mentions,
// read with readelf: immediate binding, stack protection, and, with
// _FORTIFY_SOURCE=2, every printf-style call going to its checked variant
// whatever is known of its buffers, so that a plain one is a call left unfortified.
void TestPackage::everyElfFileBindsNowAndIsFortified()
{
    const QStringList PrintfFamily = {"printf", "fprintf", "sprintf", "snprintf", "vprintf", "vfprintf",
                                      "vsprintf", "vsnprintf", "dprintf", "vdprintf"};
    int elfFiles = 0;
    Words checkedCalls;
    QDirIterator files(rootPath(QString()), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.read(4) != "\x7f" "ELF")
            continue;
        ++elfFiles;
        const QString name = QDir(rootPath(QString())).relativeFilePath(path);
        QVERIFY2(run(QStringLiteral("readelf"), {"-W", "--dynamic", path}).out.contains(QLatin1String("BIND_NOW")),
                 qPrintable(name));
        const QString symbols = run(QStringLiteral("readelf"), {"-W", "--dyn-syms", path}).out;
        QVERIFY2(symbols.contains(QLatin1String(" __stack_chk_fail@")), qPrintable(name));
        for (const QString &function : PrintfFamily)
            QVERIFY2(!Fortified || !symbols.contains(QStringLiteral(" UND %1@").arg(function)),
                     qPrintable(name + QLatin1Char(' ') + function));
        checkedCalls += captures(symbols, QStringLiteral(" UND (__\\w+printf_chk)@"), 1);
    }
    QVERIFY(elfFiles >= 12);
    QVERIFY2(!Fortified || checkedCalls.contains(QStringLiteral("__fprintf_chk")), qPrintable(sorted(checkedCalls)));
}

// The window answers --help without a display.
ProgramRun TestPackage::help(const QString &program) const
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return runProgram(rootPath(QStringLiteral("usr/bin/") + program), {QStringLiteral("--help")}, environment);
}

void TestPackage::manualPagesCarryEveryOptionOfTheHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("guide");
    QTest::newRow("tavox") << "tavox" << "docs/window.md";
    QTest::newRow("tavoxctl") << "tavoxctl" << "docs/command-line.md";
    QTest::newRow("tavox-sim") << "tavox-sim" << "docs/simulator.md";
}

// The program's guide in docs/ names every option of the help and shows none
// that neither the program nor a script takes.
void TestPackage::manualPagesCarryEveryOptionOfTheHelp()
{
    QFETCH(QString, program);
    QFETCH(QString, guide);
    const ProgramRun usage = help(program);
    QVERIFY2(usage.exitCode == 0, qPrintable(describe(usage)));
    QProcessEnvironment manWidth = englishEnvironment();
    manWidth.insert(QStringLiteral("MANWIDTH"), QStringLiteral("100"));
    const QString page = runProgram(QStringLiteral("man"), {"-l", rootPath(QStringLiteral("usr/share/man/man1/%1.1.gz").arg(program))},
                                    manWidth).out;
    QVERIFY2(page.contains(QStringLiteral("tavox %1").arg(tavoxVersion())), qPrintable(page));

    const Words helpOptions = optionsAt(section(usage.out, QStringLiteral("Options:")), 2);
    QVERIFY2(helpOptions.contains(QStringLiteral("--help")), qPrintable(usage.out));
    QCOMPARE(sorted(optionsAt(section(page, QStringLiteral("OPTIONS")), 7)), sorted(helpOptions));
    QCOMPARE(sorted(commandNames(commandLinesAt(section(page, QStringLiteral("COMMANDS")), 7))),
             sorted(commandNames(commandLinesAt(section(usage.out, QStringLiteral("Commands:")), 2))));

    const Words guideOptions = longOptionsIn(QString::fromUtf8(readFile(QStringLiteral(TAVOX_SOURCE_DIR "/") + guide)));
    Words undocumented = longOptionsIn(helpOptions.values().join(QLatin1Char(' '))) - guideOptions;
    undocumented.remove(QStringLiteral("--help-all"));
    QVERIFY2(undocumented.isEmpty(), qPrintable(sorted(undocumented)));
    QVERIFY2((guideOptions - helpOptions - scriptOptions()).isEmpty(),
             qPrintable(sorted(guideOptions - helpOptions - scriptOptions())));
}

QStringList TestPackage::complete(const QStringList &words, const QProcessEnvironment &environment) const
{
    const QString script = QStringLiteral(
        "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _tavoxctl; "
        "((${#COMPREPLY[@]} == 0)) || printf '%s\\n' \"${COMPREPLY[@]}\"");
    const QStringList arguments = QStringList{"--norc", "--noprofile", "-c", script, "bash",
                                              rootPath(QStringLiteral("usr/share/bash-completion/completions/tavoxctl")),
                                              "tavoxctl"}
                                  + words;
    const ProgramRun bash = runProgram(QStringLiteral("bash"), arguments, environment);
    if (bash.exitCode != 0 || !bash.err.isEmpty())
        return {QStringLiteral("bash failed: ") + describe(bash)};
    return bash.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Commands, their subcommands and options as tavoxctl --help prints them: an
// option in brackets on a command's line belongs to that command, every other
// option to all of them.
void TestPackage::completionFollowsTheHelp()
{
    const ProgramRun usage = help(QStringLiteral("tavoxctl"));
    QVERIFY2(usage.exitCode == 0, qPrintable(describe(usage)));
    const QStringList commandLines = commandLinesAt(section(usage.out, QStringLiteral("Commands:")), 2);
    Words commandOptions;
    for (const QString &line : commandLines)
        commandOptions += bracketedOptions(line);
    const Words globalOptions = optionsAt(section(usage.out, QStringLiteral("Options:")), 2) - commandOptions;
    QVERIFY2(globalOptions.contains(QStringLiteral("--port")) && commandOptions.contains(QStringLiteral("--json")),
             qPrintable(usage.out));

    Words topWords;
    QHash<QString, Words> subcommands;
    for (const QString &line : commandLines) {
        const QStringList words = commandName(line).split(QLatin1Char(' '));
        topWords << words.first();
        if (words.size() > 1)
            subcommands[words.first()] << words.at(1);
    }
    QCOMPARE(sorted(toSet(complete({QString()}))), sorted(topWords));
    QCOMPARE(sorted(toSet(complete({"-p", "x", ""}))), sorted(topWords));
    for (auto it = subcommands.cbegin(); it != subcommands.cend(); ++it)
        QCOMPARE(sorted(toSet(complete({it.key(), QString()}))), sorted(it.value()));

    QCOMPARE(sorted(toSet(complete({QStringLiteral("-")}))), sorted(globalOptions));
    for (const QString &line : commandLines) {
        QStringList words = commandName(line).split(QLatin1Char(' '));
        if (line.contains(QLatin1String("FILE")))
            words << QStringLiteral("golden.json");
        if (line.contains(QLatin1String("KIND")))
            words << QStringLiteral("accel");
        QCOMPARE(sorted(toSet(complete(QStringList{"-p", "/dev/ttyUSB0"} + words + QStringList{"--"}))),
                 sorted(longOptionsIn(sorted(globalOptions + bracketedOptions(line)))));
    }

    // The kinds of calibration the help names: "KIND: accel (six-face ...), gyro (...), ...".
    const QString kindsText = usage.out.section(QStringLiteral("KIND: "), 1).section(QStringLiteral("\n\n"), 0, 0);
    const Words kinds = captures(kindsText, QStringLiteral("([a-z]+) \\("), 1);
    QVERIFY2(kinds.size() >= 5, qPrintable(kindsText));
    QCOMPARE(sorted(toSet(complete({"calibrate", ""}))), sorted(kinds));
}

// -p offers what tavoxctl ports lists: TAVOX_EXTRA_PORTS first, then the
// serial devices this machine has; a typed path falls back to file names.
void TestPackage::completionOffersPortsAndFiles()
{
    QStringList devices;
    for (const QString pattern : {"serial/by-id/*", "ttyUSB*", "ttyACM*", "ttyS*"}) {
        const QString folder = QStringLiteral("/dev/") + pattern.section(QLatin1Char('/'), 0, -2);
        for (const QString &name : QDir(folder).entryList({pattern.section(QLatin1Char('/'), -1)}, QDir::System | QDir::Files))
            devices << QDir(folder).filePath(name);
    }
    devices.sort();
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("TAVOX_EXTRA_PORTS"), QStringLiteral(" /tmp/gimbal-a , ,/tmp/gimbal-b,"));
    const QStringList ports = QStringList{"/tmp/gimbal-a", "/tmp/gimbal-b"} + devices;
    // The extra ports first, in their order; the devices in whatever order the glob gives.
    const auto extrasThenSorted = [](QStringList offered) {
        std::sort(offered.begin() + qMin(2, offered.size()), offered.end());
        return offered;
    };
    QCOMPARE(extrasThenSorted(complete({"-p", ""}, environment)), ports);
    QCOMPARE(extrasThenSorted(complete({"--port", "=", ""}, environment)), ports);
    QCOMPARE(complete({"-p", "/tmp/gimbal-"}, environment), QStringList({"/tmp/gimbal-a", "/tmp/gimbal-b"}));

    QTemporaryDir files;
    for (const char *name : {"pty-link", "golden.json", "firmware.bin"})
        QVERIFY(writeFile(files.filePath(QLatin1String(name)), "x"));
    QCOMPARE(complete({"-p", files.filePath(QStringLiteral("pty"))}), QStringList{files.filePath(QStringLiteral("pty-link"))});
    QCOMPARE(complete({"-p", "x", "params", "load", files.filePath(QStringLiteral("gol"))}),
             QStringList{files.filePath(QStringLiteral("golden.json"))});
    QCOMPARE(complete({"-p", "x", "upgrade", files.filePath(QStringLiteral("fir"))}),
             QStringList{files.filePath(QStringLiteral("firmware.bin"))});
    QCOMPARE(complete({"-b", "1152"}), QStringList{"115200"});
    QCOMPARE(complete({"-p", "x", "params", "get", ""}), QStringList());
}

// Each adapter line is spelt as udev reads it and lies between the jump that
// keeps all but tty devices out and its label; the rule comes before
// 73-seat-late.rules applies "uaccess". Its adapters are the manual's
// serial-ports page and the AppStream metadata's.
void TestPackage::udevRuleOpensTheDocumentedAdapters()
{
    const QStringList rules = QDir(rootPath(QStringLiteral("lib/udev/rules.d"))).entryList(QDir::Files);
    QCOMPARE(rules.size(), 1);
    QVERIFY2(rules.first().section(QLatin1Char('-'), 0, 0).toInt() < 73, qPrintable(rules.first()));
    const QStringList lines = QString::fromUtf8(readFile(rootPath(QStringLiteral("lib/udev/rules.d/") + rules.first())))
                                  .split(QLatin1Char('\n'));
    const int jump = lines.indexOf(QStringLiteral("SUBSYSTEM!=\"tty\", GOTO=\"tavox_end\""));
    const int label = lines.indexOf(QStringLiteral("LABEL=\"tavox_end\""));
    const QRegularExpression adapter(QStringLiteral(
        "^SUBSYSTEMS==\"usb\", ATTRS\\{idVendor\\}==\"([0-9a-f]{4})\", ATTRS\\{idProduct\\}==\"([0-9a-f]{4})\", "
        "TAG\\+=\"uaccess\", ENV\\{ID_MM_DEVICE_IGNORE\\}=\"1\"$"));
    Words opened;
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).contains(QLatin1String("ATTRS")))
            continue;
        const QRegularExpressionMatch match = adapter.match(lines.at(i));
        QVERIFY2(match.hasMatch() && jump >= 0 && jump < i && i < label, qPrintable(lines.at(i)));
        opened << match.captured(1) + QLatin1Char(':') + match.captured(2);
    }
    QVERIFY(opened.size() >= 10);

    const QString manual = QString::fromUtf8(readFile(QStringLiteral(TAVOX_SOURCE_DIR "/docs/serial-ports.md")));
    QCOMPARE(sorted(captures(manual, QStringLiteral("`([0-9a-f]{4}:[0-9a-f]{4})`"), 1)), sorted(opened));
    // A modalias spells the ids in capitals: "usb:v1A86p7523d*".
    const QString metadata = QString::fromUtf8(readFile(rootPath(QStringLiteral("usr/share/metainfo/org.example.tavox.metainfo.xml"))))
                                 .replace(QRegularExpression(QStringLiteral("usb:v([0-9A-F]{4})p([0-9A-F]{4})d")), QStringLiteral("\\1:\\2"))
                                 .toLower();
    QCOMPARE(sorted(captures(metadata, QStringLiteral("<modalias>([0-9a-f]{4}:[0-9a-f]{4})\\*</modalias>"), 1)), sorted(opened));
}

void TestPackage::unpackedProgramsKeepTheirFilesInStandardLocations_data()
{
    QTest::addColumn<User>("user");
    if (::geteuid() == 0)
        QTest::newRow("as root") << User::TestsOwn;
    QTest::newRow("as an ordinary user") << (::geteuid() == 0 ? User::Nobody : User::TestsOwn);
}

// The configuration an earlier build left beside the program, where it may
// have written as root, is not read: the command line takes the language of
// the user's own; the window logs where that configuration is. The homes and
// every folder of the root are writable for whoever runs the programs: only
// the layout can keep the programs from writing there.
void TestPackage::unpackedProgramsKeepTheirFilesInStandardLocations()
{
    QFETCH(User, user);
    const QFile::Permissions everyoneWrites = QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(makeWorldAccessible(m_dir.path()) && makeWorldAccessible(rootPath(QString()), everyoneWrites));
    QDirIterator folders(rootPath(QString()), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (folders.hasNext())
        QVERIFY(makeWorldAccessible(folders.next(), everyoneWrites));
    for (const char *folder : {"", "/config/tavox", "/data", "/state", "/cache"})
        QVERIFY(QDir().mkpath(home(user) + folder) && makeWorldAccessible(home(user) + folder, everyoneWrites));
    QVERIFY(makeWorldAccessible(home(user) + "/config", everyoneWrites));
    const QString leftOver = rootPath(QStringLiteral("usr/bin/zentaro.cfg"));
    QVERIFY(writeFile(leftOver, "[General]\nlanguage=en\n"));
    const QString config = home(user) + QStringLiteral("/config/tavox/zentaro.cfg");
    QVERIFY(writeFile(config, "[General]\nlanguage=zh\n"));
    const QMap<QString, QString> before = treeState(rootPath(QString()));

    const ProgramRun ctl = runUnpacked(QStringLiteral("tavoxctl"), user);
    QCOMPARE(ctl.exitCode, 3);
    QVERIFY2(ctl.err.contains(QStringLiteral("无法打开串口")), qPrintable(ctl.err));
    QVERIFY(QFile::remove(config));

    QProcessEnvironment offscreen;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    offscreen.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    offscreen.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    const ProgramRun window = runUnpacked(QStringLiteral("tavox"), user, offscreen);
    QVERIFY2(window.exitCode == 0 && window.err.contains(QLatin1String("first-frame-ms=")),
             qPrintable(window.out + window.err));
    const QDir logFolder(home(user) + QStringLiteral("/state/tavox/logs"));
    QVERIFY2(logFolder.entryList({QStringLiteral("*.lock")}, QDir::Files).isEmpty(), qPrintable(logFolder.path()));
    QDirIterator logs(logFolder.path(), {QStringLiteral("tavox_*.log")}, QDir::Files);
    const QString log = QString::fromUtf8(readFile(logs.next()));
    QVERIFY2(log.contains(QStringLiteral("Config file=") + config), qPrintable(log));

    const QMap<QString, QString> after = treeState(rootPath(QString()));
    QStringList changes = before.keys() + after.keys();
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [&](const QString &entry) { return before.value(entry) == after.value(entry); }),
                  changes.end());
    QVERIFY2(changes.isEmpty(), qPrintable(changes.join(QStringLiteral("; "))));
    QVERIFY(QFile::remove(leftOver));
}

// The sanitizer build names its leak suppressions in LSAN_OPTIONS, inside the
// checkout, which may lie in a folder only its owner may enter: the programs
// run as "nobody" get a copy they can read, or they report every leak of Qt's.
void TestPackage::shareLeakSuppressions(QProcessEnvironment &environment) const
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

// tavoxctl asks for a port that does not exist; the window starts.
ProgramRun TestPackage::runUnpacked(const QString &program, User user, const QProcessEnvironment &extra) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home(user));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home(user) + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home(user) + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home(user) + QStringLiteral("/state"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home(user) + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(extra);
    shareLeakSuppressions(environment);

    QString executable = rootPath(QStringLiteral("usr/bin/") + program);
    QStringList arguments;
    if (program == QLatin1String("tavoxctl"))
        arguments = QStringList{"-p", "/dev/tavox-no-such-port", "info"};
    if (user == User::Nobody) {
        arguments = QStringList{"--reuid", "65534", "--regid", "65534", "--clear-groups", executable} + arguments;
        executable = QStringLiteral("setpriv");
    }
    return runProgram(executable, arguments, environment);
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
