#include "app/Config.h"
#include "app/StandardLocations.h"
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"
#include "support/TestLocale.h"
#include "window/WindowScale.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const qint64 MiB = 1 << 20;
const QString ChineseFolder = QStringLiteral("D:/固件/新版");
const QByteArray Malformed("\xff\xfe garbage [[[ = = \n\0\0 language\n", 32);

void clearConfigPath()
{
    const QString path = configFilePath();
    if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// As earlier builds wrote the file: Qt's INI format without a codec.
void writeAsEarlierBuilds(const QString &upgradeDir)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("general/language"), QStringLiteral("en"));
    settings.setValue(QStringLiteral("Console/Enabled"), true);
    settings.setValue(QStringLiteral("tavox/upgradeLastDir"), upgradeDir);
}

const char *const LocaleVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};

// What a reader makes of the file: "language, else en" reads the language with "en" as the fallback.
QString readKey(const QString &key)
{
    if (key.startsWith(QLatin1String("language, else ")))
        return readConfiguredLanguage(key.section(QLatin1Char(' '), -1));
    if (key == QLatin1String("console"))
        return QVariant(readConsoleEnabled()).toString();
    if (key == QLatin1String("reconnect"))
        return QVariant(readReconnectEnabled()).toString();
    if (key == QLatin1String("scale"))
        return QString::number(WindowScale::storedScale());
    if (key == QLatin1String("baud"))
        return QString::number(readLastBaudRate());
    return QString::number(readMessageLogHeight());
}

long maxResidentKib()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Root may write anything; a child that must meet a read-only file gives that up first.
bool actAsUnprivilegedUser()
{
    return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
}
}

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearConfigPath(); }
    void cleanup();
    void cleanupTestCase() { clearConfigPath(); }

    void eachKeyIsReadFromTheBytesOnDisk_data();
    void eachKeyIsReadFromTheBytesOnDisk();
    void localeLanguageFollowsTheMessagesLocale_data();
    void localeLanguageFollowsTheMessagesLocale();
    void malformedFileIsWrittenOver();
    void chineseFolderSurvives_data();
    void chineseFolderSurvives();
    void onlyASmallRegularFileIsRead_data();
    void onlyASmallRegularFileIsRead();
    void failedSaveIsReportedInTheMessageLog_data();
    void failedSaveIsReportedInTheMessageLog();
    void filesOfEarlierBuildsAreKept();
    void stateHomeIsAbsolute_data();
    void stateHomeIsAbsolute();

private:
    const QProcessEnvironment m_started = QProcessEnvironment::systemEnvironment();
};

void TestConfig::cleanup()
{
    for (const char *name : LocaleVariables) {
        if (m_started.contains(QLatin1String(name)))
            qputenv(name, m_started.value(QLatin1String(name)).toLocal8Bit());
        else
            qunsetenv(name);
    }
}

void TestConfig::eachKeyIsReadFromTheBytesOnDisk_data()
{
    QTest::addColumn<QByteArray>("content");   // no file when empty
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QByteArray &content, const char *key, const char *expected) {
        QTest::newRow(name) << content << QString::fromLatin1(key) << QString::fromLatin1(expected);
    };
    row("console yes", "[Console]\nEnabled=yes\n", "console", "true");
    row("console FALSE", "[Console]\nEnabled=FALSE\n", "console", "false");
    row("console empty", "[Console]\nEnabled=\n", "console", "false");
    row("no file", "", "language, else en", "en");
    row("no file: reconnect", "", "reconnect", "true");
    row("no file: baud", "", "baud", "0");
    row("no file, the other fallback", "", "language, else zh", "zh");
    row("other keys only", "[Console]\nEnabled=true\n", "language, else en", "en");
    row("zh stored", "[General]\nlanguage=zh\n", "language, else en", "zh");
    row("en as Qt writes it", "[%General]\nlanguage=en\n", "language, else zh", "en");
    row("[general] by hand", "[general]\nlanguage=en\n", "language, else zh", "en");
    row("upper case value", "[General]\nlanguage= EN \n", "language, else zh", "en");
    row("language in another section", "[tavox]\nlanguage=en\n", "language, else zh", "zh");
    // Files of earlier builds with anything else started in Chinese, and still do.
    row("unknown language", "[General]\nlanguage=fr\n", "language, else en", "zh");
    row("empty language", "[General]\nlanguage=\n", "language, else en", "zh");
    row("baud", "[serial]\nlastBaud=\"115200\"\n", "baud", "115200");
    row("baud, spaces around", "[serial]\nlastBaud=\" 921600 \"\n", "baud", "921600");
    row("baud, a word", "[serial]\nlastBaud=fast\n", "baud", "0");
    row("baud, negative", "[serial]\nlastBaud=\"-9600\"\n", "baud", "0");
    row("log height", "[window]\nmessageLogHeight=420\n", "log height", "420");
    row("log height, fraction", "[window]\nmessageLogHeight=250.5\n", "log height", "0");
    row("log height, zero", "[window]\nmessageLogHeight=0\n", "log height", "0");
    row("no file: scale", "", "scale", "1");
    row("scale", "[window]\nscale=1.5\n", "scale", "1.5");
    row("scale between steps", "[window]\nscale=1.30\n", "scale", "1.25");
    row("scale beyond the steps", "[window]\nscale=3\n", "scale", "1");
    row("scale, a word", "[window]\nscale=huge\n", "scale", "1");
    row("reconnect by hand", "[serial]\nreconnect=0\n", "reconnect", "false");
    row("malformed", Malformed, "language, else zh", "zh");
    row("malformed: console", Malformed, "console", "false");
}

// The file is written by one run and read by the next, so these are read from
// the bytes on disk, not from what this process wrote; reading never creates it.
void TestConfig::eachKeyIsReadFromTheBytesOnDisk()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    if (!content.isEmpty())
        QVERIFY(writeFile(configFilePath(), content));
    QTEST(readKey(key), "expected");
    QCOMPARE(QFile::exists(configFilePath()), !content.isEmpty());
}

void TestConfig::localeLanguageFollowsTheMessagesLocale_data()
{
    QTest::addColumn<QByteArray>("all");
    QTest::addColumn<QByteArray>("messages");
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const char *all, const char *messages, const char *lang,
                        const char *language, const char *expected) {
        QTest::newRow(name) << QByteArray(all) << QByteArray(messages) << QByteArray(lang) << QByteArray(language)
                            << QString::fromLatin1(expected);
    };
    row("nothing set", "", "", "", "", "en");
    row("LANG en_US", "", "", "en_US.UTF-8", "", "en");
    row("LANG zh_CN", "", "", "zh_CN.UTF-8", "", "zh");
    row("LANG zh_HK, no codeset", "", "", "zh_HK", "", "zh");
    row("LANG zh alone", "", "", "zh", "", "zh");
    row("LANG de_DE", "", "", "de_DE.UTF-8", "", "en");
    row("LANG C.UTF-8", "", "", "C.UTF-8", "", "en");
    row("LANG POSIX", "", "", "POSIX", "", "en");
    row("LC_MESSAGES before LANG", "", "zh_CN.UTF-8", "en_US.UTF-8", "", "zh");
    row("LC_ALL before both", "en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", "", "en");
    row("LC_ALL C before LANG", "C.UTF-8", "", "zh_CN.UTF-8", "", "en");
    row("LANGUAGE before the locale", "", "", "en_US.UTF-8", "zh_CN:en", "zh");
    row("LANGUAGE's first known entry", "", "", "zh_CN.UTF-8", "de:en_GB:zh", "en");
    row("LANGUAGE without a known entry", "", "", "zh_CN.UTF-8", "de:fr", "zh");
    row("LANGUAGE under the C locale", "", "", "C.UTF-8", "zh_CN", "en");
    row("LANGUAGE with no locale", "", "", "", "zh_CN", "en");
}

// Read from the environment at each call, as a child started with another locale would.
void TestConfig::localeLanguageFollowsTheMessagesLocale()
{
    QFETCH(QByteArray, all);
    QFETCH(QByteArray, messages);
    QFETCH(QByteArray, lang);
    QFETCH(QByteArray, language);
    QFETCH(QString, expected);
    const QByteArray values[] = {all, messages, lang, language};
    for (int i = 0; i < 4; ++i) {
        if (values[i].isEmpty())
            qunsetenv(LocaleVariables[i]);
        else
            qputenv(LocaleVariables[i], values[i]);
    }
    QCOMPARE(localeLanguage(), expected);
    QCOMPARE(startLanguage(), expected);
    QVERIFY(!QFile::exists(configFilePath()));
}

// Content Qt cannot parse is not a failed save: the new value is written.
void TestConfig::malformedFileIsWrittenOver()
{
    QVERIFY(writeFile(configFilePath(), Malformed));
    QVERIFY(writeConfiguredLanguage(QStringLiteral("en")));
    QCOMPARE(readConfiguredLanguage(QStringLiteral("zh")), QStringLiteral("en"));
}

void TestConfig::chineseFolderSurvives_data()
{
    QTest::addColumn<QByteArray>("content");   // before the tool writes
    QTest::addColumn<QString>("chosen");       // folder chosen in the tool; empty: none
    QTest::newRow("chosen in the tool") << QByteArray() << ChineseFolder;
    QTest::newRow("written by hand, then the language saved")
        << "[tavox]\nupgradeLastDir=" + ChineseFolder.toUtf8() + "\n" << QString();
    QTest::newRow("escaped by an earlier build")
        << QByteArray("[tavox]\nupgradeLastDir=D:/\\x56fa\\x4ef6/\\x65b0\\x7248\n") << QString();
}

void TestConfig::chineseFolderSurvives()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, chosen);
    QVERIFY(content.isEmpty() || writeFile(configFilePath(), content));

    QVERIFY(chosen.isEmpty() ? writeConfiguredLanguage(QStringLiteral("en")) : writeUpgradeLastDir(chosen));
    QCOMPARE(readUpgradeLastDir(), ChineseFolder);
    QVERIFY(readFile(configFilePath()).contains("upgradeLastDir=" + ChineseFolder.toUtf8() + "\n"));
}

void TestConfig::onlyASmallRegularFileIsRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");   // why it is ignored; empty: it is read
    QTest::newRow("exactly 1 MiB") << "size:" + QString::number(MiB) << QString();
    QTest::newRow("1 MiB and a byte") << "size:" + QString::number(MiB + 1)
                                      << QStringLiteral("it is larger than 1 MiB (1048577 bytes)");
    QTest::newRow("100 MB") << "size:" + QString::number(100 * 1000 * 1000)
                            << QStringLiteral("it is larger than 1 MiB (100000000 bytes)");
    QTest::newRow("FIFO nobody writes to") << "fifo" << QStringLiteral("it is not a regular file");
    QTest::newRow("device") << "device" << QStringLiteral("it is not a regular file");
    QTest::newRow("directory") << "directory" << QStringLiteral("it is a directory");
}

// Read in a child that must finish: a FIFO with no writer would block a reader for ever.
void TestConfig::onlyASmallRegularFileIsRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString path = configFilePath();
    if (kind.startsWith("size:")) {
        // Sparse beyond its first line: language=en, then an endless comment.
        QVERIFY(writeFile(path, "[General]\nlanguage=en\n;"));
        QVERIFY(QFile(path).resize(kind.mid(5).toLongLong()));
    } else if (kind == "fifo") {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    } else if (kind == "device") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    const QFileInfo before(path);

    const ChildRun run = runInChild([] {
        const long residentBefore = maxResidentKib();
        const QString language = readConfiguredLanguage(QStringLiteral("zh"));
        const bool console = readConsoleEnabled();
        const QString folder = readUpgradeLastDir();
        const long growth = maxResidentKib() - residentBefore;
        std::printf("%s %d [%s] %ld\n", qPrintable(language), int(console), qPrintable(folder), growth);
    });
    QVERIFY2(run.finished, "reading the configuration blocked");
    QVERIFY(run.succeeded());
    const QStringList result = QString::fromUtf8(run.output).split(' ');
    QCOMPARE(result.size(), 4);
    QCOMPARE(result.mid(0, 3), (QStringList {reason.isEmpty() ? "en" : "zh", "0", "[]"}));
    QVERIFY2(result.at(3).toLong() < 16 * 1024, qPrintable("resident memory grew by KiB: " + result.at(3)));
    QCOMPARE(QString::fromUtf8(run.errors),
             reason.isEmpty() ? QString() : "[Config] Ignoring " + path + ": " + reason + "; defaults apply\n");

    if (reason.isEmpty())
        return;
    // Nor is it written over: saving fails and says why.
    const QString warning = "[Config] Settings could not be saved: " + path + " (" + reason + ")";
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QVERIFY(!writeConfiguredLanguage(QStringLiteral("en")));
    const QFileInfo after(path);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.isFile(), before.isFile());
    QCOMPARE(after.isSymLink(), before.isSymLink());
}

void TestConfig::failedSaveIsReportedInTheMessageLog_data()
{
    QTest::addColumn<bool>("folderInItsPlace");   // else a read-only file
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only file") << false << QStringLiteral("Permission denied");
    QTest::newRow("folder in its place") << true << QStringLiteral("it is a directory");
}

// The entry comes after the language switch has emptied the log, so it stays in view; it is in the new language.
// Root may write a read-only file, so the child gives root up first. The program's folder may lie below a
// private one that the child can then no longer pass, and its configuration moves to the standard location:
// that is a folder of the test's own, which the child can reach wherever the checkout lies.
void TestConfig::failedSaveIsReportedInTheMessageLog()
{
    QFETCH(bool, folderInItsPlace);
    QFETCH(QString, reason);
    QTemporaryDir configHome;
    QVERIFY(geteuid() != 0 || ::chown(QFile::encodeName(configHome.path()).constData(), 65534, 65534) == 0);
    const auto unreachable = 3;

    const ChildRun run = runInChild([&] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        useChineseLocale();
        if (!actAsUnprivilegedUser())
            _exit(1);
        const QString path = configFilePath();
        if (!QDir().mkpath(QFileInfo(path).path()))
            _exit(unreachable);
        const bool blocked = folderInItsPlace
            ? QDir().mkdir(path)
            : writeFile(path, "[General]\nlanguage=zh\n") && QFile::setPermissions(path, QFile::ReadOwner);
        if (!blocked)
            _exit(2);
        std::printf("%s\n", qPrintable(path));
        AppBridge bridge;
        bridge.setUpgradeFileChooser([](const QString &, const QString &, const QString &) {
            return QStringLiteral("/images/main.bin");
        });
        bridge.setLanguage(QStringLiteral("en"));
        std::printf("%s\n", qPrintable(messageTexts(bridge).join('|')));
        bridge.setLanguage(QStringLiteral("zh"));
        bridge.tavoxSelectUpgradeFile();
        std::printf("%s\n", qPrintable(messageTexts(bridge).join('|')));
    });
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == unreachable)
        QSKIP(qPrintable("the unprivileged user cannot reach the temporary folder " + configHome.path()
                         + "; point TMPDIR at a folder every user can pass through"));
    QVERIFY(run.succeeded());
    const QStringList lines = QString::fromUtf8(run.output).split('\n');
    const QString path = lines.at(0);
    QVERIFY2(path == QCoreApplication::applicationDirPath() + "/zentaro.cfg"
                 || path == configHome.path() + "/tavox/zentaro.cfg",
             qPrintable(path));
    // the log keeps its entries across a language switch, each in its own language
    QCOMPARE(lines.mid(1),
             QStringList({QStringLiteral("应用已启动|Settings could not be saved: %1").arg(path),
                          QStringLiteral("应用已启动|Settings could not be saved: %1|设置无法保存: %1|设置无法保存: %1")
                              .arg(path),
                          QString()}));
    const QString warning = "[Config] Settings could not be saved: " + path + " (" + reason + ")";
    QCOMPARE(QString::fromUtf8(run.errors).split('\n').filter(warning).size(), 3);
}

// Files of earlier builds are ASCII (they escaped everything else): written again, they keep every byte. The keys
// each write adds sit beside theirs, which read as before.
void TestConfig::filesOfEarlierBuildsAreKept()
{
    writeAsEarlierBuilds(QStringLiteral("D:/images"));
    const QByteArray before = readFile(configFilePath());
    clearConfigPath();
    writeAsEarlierBuilds(QStringLiteral("D:/old"));
    QVERIFY(writeUpgradeLastDir(QStringLiteral("D:/images")));
    QCOMPARE(readFile(configFilePath()), before);
    QVERIFY(writeConfiguredLanguage(QStringLiteral("en")));
    QCOMPARE(readFile(configFilePath()), before);

    QVERIFY(writeLastSerialChoice(QStringLiteral("ttyUSB0"), 115200));
    QVERIFY(writeReconnectEnabled(false));
    QVERIFY(writeMessageLogHeight(380));
    QCOMPARE(readLastSerialPort(), QStringLiteral("ttyUSB0"));
    QCOMPARE(readLastBaudRate(), 115200);
    QVERIFY(!readReconnectEnabled());
    QCOMPARE(readMessageLogHeight(), 380);
    QCOMPARE(readConfiguredLanguage(QStringLiteral("zh")), QStringLiteral("en"));
    QVERIFY(readConsoleEnabled());
    QCOMPARE(readUpgradeLastDir(), QStringLiteral("D:/images"));
    QVERIFY(writeReconnectEnabled(true));
    QVERIFY(readReconnectEnabled());
}

void TestConfig::stateHomeIsAbsolute_data()
{
    QTest::addColumn<QByteArray>("variable");   // null: unset
    QTest::addColumn<QString>("home");
    const QString standard = QDir::homePath() + QStringLiteral("/.local/state");
    QTest::newRow("set") << QByteArray("/srv/state") << QStringLiteral("/srv/state");
    QTest::newRow("unset") << QByteArray() << standard;
    QTest::newRow("empty") << QByteArray("") << standard;
    QTest::newRow("relative") << QByteArray("state") << standard;
}

void TestConfig::stateHomeIsAbsolute()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, home);
    variable.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", variable);
    QCOMPARE(userStateHome(), home);
    qunsetenv("XDG_STATE_HOME");
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
