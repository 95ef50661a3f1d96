// The log session, the log core and the rotating log file. Their state is
// process-wide and a session cannot be stopped, so the slots run in order:
// failed starts first, fresh starts in forked children, then the session
// beside the executable, whose file the record tests append to.

#include "app/DebugConsole.h"
#include "log/AppLog.h"
#include "log/elog.h"
#include "log/elog_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
const QByteArray Bom("\xEF\xBB\xBF");
const qint64 MaxSize = 0x100000;
const int FixedPathBytes = int(sizeof("/logs/tavox_yyyyMMdd_HHmmss.log")) - 1;
const QString Time = QStringLiteral("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void configureFile(const QString &path, size_t maxSize = MaxSize, int maxRotate = 5)
{
    const QByteArray name = QFile::encodeName(path);
    const ElogFileCfg cfg { name.constData(), maxSize, maxRotate };
    elog_file_config(&cfg);
}

void writeRecord(const QByteArray &record)
{
    elog_file_write(record.constData(), size_t(record.size()));
}

void redirectStdout(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    ::close(fd);
}

// What `write` sends to standard output.
QByteArray consoleOf(const QString &capturePath, const std::function<void()> &write)
{
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    redirectStdout(capturePath);
    write();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    ::close(saved);
    return readFile(capturePath);
}

struct ChildResult
{
    int exitCode = -1;
    bool aborted = false;
    QByteArray output;
};

// Runs `body` in a forked child with standard output going to outputPath; the
// child exits with what `body` returns.
ChildResult runInChild(const QString &outputPath, const std::function<int()> &body)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit noCoreDump {};
        setrlimit(RLIMIT_CORE, &noCoreDump);
        redirectStdout(outputPath);
        const int code = body();
        std::fflush(stdout);
        _exit(code);
    }
    ChildResult result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.aborted = WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
    result.output = readFile(outputPath);
    return result;
}

// A directory below `base` whose path takes exactly `bytes` bytes in UTF-8,
// made of `filler` as far as it goes, then ASCII.
QString directoryOfLength(const QString &base, int bytes, const QString &filler)
{
    QString directory = base;
    while (directory.toUtf8().size() < bytes) {
        const int componentBytes = qMin(bytes - directory.toUtf8().size() - 1, 200);
        QString component;
        while (component.toUtf8().size() + filler.toUtf8().size() <= componentBytes)
            component += filler;
        component += QString(componentBytes - component.toUtf8().size(), QLatin1Char('a'));
        directory += QLatin1Char('/') + component;
    }
    return directory;
}

QRegularExpression headerPattern(const QString &logPath, bool consoleActive)
{
    const QString record = QStringLiteral("I/app      \\[") + Time + QStringLiteral("\\] ");
    return QRegularExpression(
        QStringLiteral("\\A") + record
        + QRegularExpression::escape(QStringLiteral("========== TAVOX log session start (UTF-8) ==========\n"))
        + record + QRegularExpression::escape(QStringLiteral("Log file: %1\n").arg(logPath)) + record
        + QRegularExpression::escape(QStringLiteral("Debug console: %1\n").arg(consoleActive ? "attached" : "off"))
        + QStringLiteral("\\z"));
}

enum class Check { OutputLevel, OutputTag, SetFmtLevel, FmtEnabledLevel, CopyToNull, CopyFromNull, NullRecord };

void failCheck(Check check)
{
    char buffer[4] = {};
    switch (check) {
    case Check::OutputLevel: elog_output(ELOG_LVL_VERBOSE + 1, "app", nullptr, nullptr, 0, "x"); break;
    case Check::OutputTag: elog_output(ELOG_LVL_INFO, nullptr, nullptr, nullptr, 0, "x"); break;
    case Check::SetFmtLevel: elog_set_fmt(ELOG_LVL_VERBOSE + 1, ELOG_FMT_LVL); break;
    case Check::FmtEnabledLevel: get_fmt_enabled(ELOG_LVL_VERBOSE + 1, ELOG_FMT_LVL); break;
    case Check::CopyToNull: elog_strcpy(0, nullptr, "x"); break;
    case Check::CopyFromNull: elog_strcpy(0, buffer, nullptr); break;
    case Check::NullRecord: elog_file_write(nullptr, 1); break;
    }
}
}

Q_DECLARE_METATYPE(Check)

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sessionPath_data();
    void sessionPath();
    void failedStartLeavesNoSession_data();
    void failedStartLeavesNoSession();
    void fileWriteBeforeInitIsFatal();
    void coreWithoutSessionWaitsForStart();
    void pathOfExactly510BytesStartsSession();
    void unwritableLogDirectoryKeepsConsole();
    void sessionStartsBesideExecutable();
    void secondInitWritesNoHeader();

    void recordLayout_data();
    void recordLayout();
    void formatsArguments();
    void recordLength_data();
    void recordLength();
    void elogStrcpy_data();
    void elogStrcpy();
    void recordsOfConcurrentThreadsStayWhole();
    void failedChecksStopTheProgram_data();
    void failedChecksStopTheProgram();

    void byteOrderMark_data();
    void byteOrderMark();
    void rotation_data();
    void rotation();
    void failedRenameDropsRecord();
    void unopenableFileLeavesConsoleOutput();
    void fileOfUnknownSizeIsNeverRotated();

private:
    QString tempPath(const QString &name) const { return m_dir.filePath(name); }
    QString capturePath() const { return tempPath(QStringLiteral("stdout.txt")); }
    QByteArray recordOf(const std::function<void()> &write);

    QTemporaryDir m_dir;
    QString m_sessionFile;
};

void TestLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestLog::cleanupTestCase()
{
    // Each run would otherwise leave one more file beside the test executable.
    if (!m_sessionFile.isEmpty())
        QFile::remove(m_sessionFile);
}

// What `write` sends to the console, provided the session file got the same bytes.
QByteArray TestLog::recordOf(const std::function<void()> &write)
{
    const qint64 fileSize = QFileInfo(m_sessionFile).size();
    const QByteArray console = consoleOf(capturePath(), write);
    const QByteArray inFile = readFile(m_sessionFile).mid(int(fileSize));
    return console == inFile ? console : "console " + console + " differs from file " + inFile;
}

void TestLog::sessionPath_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("filler");
    QTest::addColumn<bool>("fits");

    QTest::newRow("509 bytes") << 509 << QStringLiteral("a") << true;
    QTest::newRow("510 bytes") << 510 << QStringLiteral("a") << true;
    QTest::newRow("511 bytes") << 511 << QStringLiteral("a") << false;
    QTest::newRow("510 bytes of three-byte characters") << 510 << QStringLiteral("云") << true;
    QTest::newRow("511 bytes of three-byte characters") << 511 << QStringLiteral("云") << false;
}

void TestLog::sessionPath()
{
    QFETCH(int, bytes);
    QFETCH(QString, filler);
    QFETCH(bool, fits);

    const QDateTime start(QDate(2026, 12, 5), QTime(10, 33, 0));
    QCOMPARE(appLogSessionPath(QStringLiteral("/opt/云台"), start), QByteArray("/opt/云台/logs/tavox_20261205_103300.log"));
    const QByteArray path = appLogSessionPath(directoryOfLength(QStringLiteral("/opt"), bytes - FixedPathBytes, filler), start);
    QCOMPARE(path.size(), bytes);
    QCOMPARE(appLogPathFits(path), fits);
}

void TestLog::failedStartLeavesNoSession_data()
{
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("warning");

    // A file where the application directory should be: "logs" cannot be made below it.
    const QString blocked = tempPath(QStringLiteral("not-a-directory"));
    QVERIFY(writeFile(blocked, "x"));
    QTest::newRow("log directory cannot be made")
        << blocked << QRegularExpression::escape(QStringLiteral("[AppLog] Failed to create log directory: \"%1/logs\"").arg(blocked));

    const QString deep = directoryOfLength(m_dir.path(), 511 - FixedPathBytes, QStringLiteral("a"));
    QTest::newRow("path of 511 bytes")
        << deep << QRegularExpression::escape(QStringLiteral("[AppLog] Log path too long: \"%1/logs/tavox_").arg(deep))
            + QStringLiteral("\\d{8}_\\d{6}\\.log\"");
}

void TestLog::failedStartLeavesNoSession()
{
    QFETCH(QString, appDir);
    QFETCH(QString, warning);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("\\A") + warning + QStringLiteral("\\z")));
    QVERIFY(!appLogInitIn(appDir));
    QVERIFY(appLogFilePath().isEmpty());
    QVERIFY(appLogFilePathUtf8() == nullptr);
    QCOMPARE(consoleOf(capturePath(), [] { elog_output(ELOG_LVL_ERROR, "app", nullptr, nullptr, 0, "lost"); }),
             QByteArray());
}

void TestLog::fileWriteBeforeInitIsFatal()
{
    const ChildResult child = runInChild(capturePath(), [] {
        elog_file_write("x\n", 2);
        return 0;
    });
    QVERIFY(child.aborted);
}

void TestLog::coreWithoutSessionWaitsForStart()
{
    QFile defaultFile(QStringLiteral("/tmp/log_file.log"));
    const bool existedBefore = defaultFile.exists();
    const qint64 sizeBefore = defaultFile.size();
    const ChildResult child = runInChild(capturePath(), [] {
        elog_init();
        elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_TAG);
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "before start");
        elog_start();
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "after start");
        return 0;
    });
    const QByteArray added = readFile(defaultFile.fileName()).mid(int(sizeBefore));
    // Leave the shared file as it was found.
    if (existedBefore)
        defaultFile.resize(sizeBefore);
    else
        defaultFile.remove();

    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.output, QByteArray("app      after start\n"));
    QCOMPARE(added, (sizeBefore > 0 ? QByteArray() : Bom) + child.output);
}

void TestLog::pathOfExactly510BytesStartsSession()
{
    const QString appDir = directoryOfLength(m_dir.path(), 510 - FixedPathBytes, QStringLiteral("云"));
    const ChildResult child = runInChild(capturePath(), [&] {
        return appLogInitIn(appDir) && std::strlen(appLogFilePathUtf8()) == 510 ? 0 : 1;
    });
    QCOMPARE(child.exitCode, 0);

    const QStringList files = QDir(appDir + QStringLiteral("/logs")).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString logPath = appDir + QStringLiteral("/logs/") + files.first();
    QCOMPARE(readFile(logPath), Bom + child.output);
    // The child's standard output is a file, not a terminal.
    QVERIFY2(headerPattern(logPath, false).match(QString::fromUtf8(child.output)).hasMatch(), child.output.constData());
}

void TestLog::unwritableLogDirectoryKeepsConsole()
{
    const QString appDir = tempPath(QStringLiteral("read-only"));
    const QString logDir = appDir + QStringLiteral("/logs");
    QVERIFY(QDir().mkpath(logDir));
    const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    // The child gives up root rights, which ignore permissions, and must still reach the directory.
    QVERIFY(QFile::setPermissions(m_dir.path(), readAndEnter | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(logDir, readAndEnter));

    const ChildResult child = runInChild(capturePath(), [&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 2;
        if (!appLogInitIn(appDir))
            return 1;
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "still running");
        return 0;
    });
    QCOMPARE(child.exitCode, 0);
    QVERIFY(QDir(logDir).entryList(QDir::Files).isEmpty());
    const QList<QByteArray> lines = child.output.split('\n');
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.at(0).endsWith("] ========== TAVOX log session start (UTF-8) =========="));
    QVERIFY(lines.at(3).startsWith("I/app      [") && lines.at(3).endsWith("] still running"));
}

void TestLog::sessionStartsBesideExecutable()
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    bool started = false;
    bool consoleActive = true;
    const QByteArray console = consoleOf(capturePath(), [&] {
        consoleActive = isConsoleActive();
        started = appLogInit();
    });
    QVERIFY(started);

    m_sessionFile = appLogFilePath();
    const QString prefix = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/logs/tavox_");
    const QRegularExpressionMatch name = QRegularExpression(
        QStringLiteral("\\A") + QRegularExpression::escape(prefix) + QStringLiteral("(\\d{8}_\\d{6})\\.log\\z")).match(m_sessionFile);
    QVERIFY2(name.hasMatch(), qPrintable(m_sessionFile));
    const QDateTime stamp = QDateTime::fromString(name.captured(1), QStringLiteral("yyyyMMdd_HHmmss"));
    QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
    QCOMPARE(QByteArray(appLogFilePathUtf8()), m_sessionFile.toUtf8());

    QCOMPARE(readFile(m_sessionFile), Bom + console);
    QVERIFY2(headerPattern(m_sessionFile, consoleActive).match(QString::fromUtf8(console)).hasMatch(), console.constData());
    for (uint8_t level = ELOG_LVL_ASSERT; level <= ELOG_LVL_VERBOSE; ++level) {
        QVERIFY(get_fmt_enabled(level, ELOG_FMT_LVL) && get_fmt_enabled(level, ELOG_FMT_TAG)
                && get_fmt_enabled(level, ELOG_FMT_TIME));
        QVERIFY(!get_fmt_enabled(level, ~size_t(ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME)));
    }
}

void TestLog::secondInitWritesNoHeader()
{
    const QByteArray contentBefore = readFile(m_sessionFile);
    const QString otherDir = tempPath(QStringLiteral("other"));
    bool again = false;
    bool elsewhere = false;
    QCOMPARE(consoleOf(capturePath(), [&] {
                 again = appLogInit();
                 elsewhere = appLogInitIn(otherDir);
             }),
             QByteArray());
    QVERIFY(again && elsewhere);
    QCOMPARE(appLogFilePath(), m_sessionFile);
    QCOMPARE(readFile(m_sessionFile), contentBefore);
    QVERIFY(!QFile::exists(otherDir));
}

void TestLog::recordLayout_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("fmt");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("line"); // 0: no file and function name either
    QTest::addColumn<QString>("expected");

    const QByteArray app("app");
    QTest::newRow("session format") << 3 << 0x07 << app << 0 << "I/app      [{time}] Loading Main.qml...\n";
    QTest::newRow("assert") << 0 << 0x03 << app << 0 << "A/app      Loading Main.qml...\n";
    QTest::newRow("error") << 1 << 0x01 << app << 0 << "E/Loading Main.qml...\n";
    QTest::newRow("warn") << 2 << 0x01 << app << 0 << "W/Loading Main.qml...\n";
    QTest::newRow("debug") << 4 << 0x01 << app << 0 << "D/Loading Main.qml...\n";
    QTest::newRow("verbose") << 5 << 0x01 << app << 0 << "V/Loading Main.qml...\n";
    QTest::newRow("8-char tag") << 3 << 0x02 << QByteArray("eightchr") << 0 << "eightchr Loading Main.qml...\n";
    QTest::newRow("9-char tag") << 3 << 0x02 << QByteArray("ninechars") << 0 << "ninechars Loading Main.qml...\n";
    QTest::newRow("empty tag") << 3 << 0x02 << QByteArray("") << 0 << "         Loading Main.qml...\n";
    QTest::newRow("time, pid, tid") << 3 << 0x1C << app << 0 << "[{time} pid:{pid} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("pid, tid") << 3 << 0x18 << app << 0 << "[pid:{pid} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("time, tid") << 3 << 0x14 << app << 0 << "[{time} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("time, pid") << 3 << 0x0C << app << 0 << "[{time} pid:{pid}] Loading Main.qml...\n";
    QTest::newRow("tid") << 3 << 0x10 << app << 0 << "[tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("no bits") << 3 << 0x00 << app << 42 << "Loading Main.qml...\n";
    QTest::newRow("file, line, func") << 3 << 0xE0 << app << 42 << "(main.cpp:42 main)Loading Main.qml...\n";
    QTest::newRow("file, line") << 3 << 0xA0 << app << 42 << "(main.cpp 42)Loading Main.qml...\n";
    QTest::newRow("file, func") << 3 << 0x60 << app << 42 << "(main.cpp:main)Loading Main.qml...\n";
    QTest::newRow("line, func") << 3 << 0xC0 << app << 42 << "(42 main)Loading Main.qml...\n";
    QTest::newRow("line") << 3 << 0x80 << app << 42 << "(42)Loading Main.qml...\n";
    QTest::newRow("func") << 3 << 0x40 << app << 42 << "(main)Loading Main.qml...\n";
    QTest::newRow("file") << 3 << 0x20 << app << 42 << "(main.cpp)Loading Main.qml...\n";
    QTest::newRow("line of 6 digits") << 3 << 0x80 << app << 123456 << "(1234)Loading Main.qml...\n";
    QTest::newRow("no position passed") << 3 << 0xE0 << app << 0 << "Loading Main.qml...\n";
    QTest::newRow("all bits") << 3 << 0xFF << app << 42
                              << "I/app      [{time} pid:{pid} tid:{tid}] (main.cpp:42 main)Loading Main.qml...\n";
}

void TestLog::recordLayout()
{
    QFETCH(int, level);
    QFETCH(int, fmt);
    QFETCH(QByteArray, tag);
    QFETCH(int, line);
    QFETCH(QString, expected);

    elog_set_fmt(uint8_t(level), size_t(fmt));
    const QByteArray record = recordOf([&] {
        elog_output(uint8_t(level), tag.constData(), line ? "main.cpp" : nullptr, line ? "main" : nullptr, line,
                    "%s", "Loading Main.qml...");
    });
    elog_set_fmt(uint8_t(level), ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);

    const QString pattern = QRegularExpression::escape(expected)
                                .replace(QStringLiteral("\\{time\\}"), Time)
                                .replace(QStringLiteral("\\{pid\\}"), QString::number(getpid()))
                                .replace(QStringLiteral("\\{tid\\}"), QString::number(gettid()));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("\\A") + pattern + QStringLiteral("\\z")).match(QString::fromUtf8(record));
    QVERIFY2(match.hasMatch(), record.constData());
    if (expected.contains(QStringLiteral("{time}"))) {
        const QDateTime time = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QVERIFY2(qAbs(time.msecsTo(QDateTime::currentDateTime())) < 10000, qPrintable(match.captured(1)));
    }
}

void TestLog::formatsArguments()
{
    elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_LVL | ELOG_FMT_TAG);
    const QByteArray record = recordOf([] {
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Font loaded: %s, %d%% %05.1f", "思源黑体", -7, 2.5);
    });
    elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    QCOMPARE(record, QByteArray("I/app      Font loaded: 思源黑体, -7% 002.5\n"));
}

void TestLog::recordLength_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("fmt");
    QTest::addColumn<int>("messageBytes");
    QTest::addColumn<QString>("expected"); // a regular expression

    const QByteArray app("app");
    QTest::newRow("1022-byte message") << app << 0 << 1022 << "x{1022}\\n";
    QTest::newRow("1023-byte message") << app << 0 << 1023 << "x{1023}\\n";
    QTest::newRow("1024-byte message") << app << 0 << 1024 << "x{1023}\\n";
    QTest::newRow("2000-byte message") << app << 0x07 << 2000 << "I/app {6}\\[[-0-9 :.]{23}\\] x{986}\\n";
    QTest::newRow("tag beyond the record") << QByteArray(1100, 't') << 0x02 << 7 << "t{1023}\\n";
    QTest::newRow("tag of 1022 bytes") << QByteArray(1022, 't') << 0x02 << 7 << "t{1022} \\n";
}

void TestLog::recordLength()
{
    QFETCH(QByteArray, tag);
    QFETCH(int, fmt);
    QFETCH(int, messageBytes);
    QFETCH(QString, expected);

    const QByteArray message(messageBytes, 'x');
    elog_set_fmt(ELOG_LVL_INFO, size_t(fmt));
    const QByteArray record = recordOf([&] {
        elog_output(ELOG_LVL_INFO, tag.constData(), nullptr, nullptr, 0, "%s", message.constData());
    });
    elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    const QRegularExpression pattern(QStringLiteral("\\A") + expected + QStringLiteral("\\z"));
    QVERIFY2(pattern.match(QString::fromLatin1(record)).hasMatch(), record.left(80).constData());
}

void TestLog::elogStrcpy_data()
{
    QTest::addColumn<int>("curLen");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("copied");

    QTest::newRow("empty record") << 0 << QByteArray("abc") << 3;
    QTest::newRow("empty source") << 0 << QByteArray("") << 0;
    QTest::newRow("two bytes left") << 1022 << QByteArray("abc") << 2;
    QTest::newRow("one byte left") << 1023 << QByteArray("abc") << 1;
    QTest::newRow("record full") << 1024 << QByteArray("abc") << 0;
    QTest::newRow("past the end") << 1030 << QByteArray("abc") << 0;
}

void TestLog::elogStrcpy()
{
    QFETCH(int, curLen);
    QFETCH(QByteArray, source);
    QFETCH(int, copied);

    char destination[8] = { '#', '#', '#', '#', '#', '#', '#', '#' };
    QCOMPARE(int(elog_strcpy(size_t(curLen), destination, source.constData())), copied);
    QCOMPARE(QByteArray(destination, copied), source.left(copied));
    QCOMPARE(destination[copied], '#'); // no terminating zero
}

void TestLog::recordsOfConcurrentThreadsStayWhole()
{
    const int perThread = 500;
    elog_set_fmt(ELOG_LVL_DEBUG, ELOG_FMT_TAG | ELOG_FMT_T_INFO);
    unsigned long threadIds[2] = {};
    const QByteArray output = recordOf([&] {
        auto write = [&](int writer) {
            threadIds[writer] = gettid();
            for (int i = 0; i < perThread; ++i)
                elog_output(ELOG_LVL_DEBUG, "app", nullptr, nullptr, 0, "record %d of writer %d", i, writer);
        };
        std::thread first(write, 0);
        std::thread second(write, 1);
        first.join();
        second.join();
    });
    elog_set_fmt(ELOG_LVL_DEBUG, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);

    QVERIFY(threadIds[0] != threadIds[1] && threadIds[0] != static_cast<unsigned long>(getpid()));
    const QList<QByteArray> lines = output.split('\n');
    QCOMPARE(lines.size(), 2 * perThread + 1);
    const QRegularExpression pattern(QStringLiteral("\\Aapp      \\[tid:(\\d+)\\] record \\d+ of writer (\\d)\\z"));
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.at(i)));
        QVERIFY2(match.hasMatch() && match.captured(1).toULong() == threadIds[match.captured(2).toInt()],
                 lines.at(i).constData());
    }
}

void TestLog::failedChecksStopTheProgram_data()
{
    QTest::addColumn<Check>("check");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("level of a record") << Check::OutputLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at elog_output:574.");
    QTest::newRow("tag of a record") << Check::OutputTag << QByteArray("(tag != ((void *)0)) has assert failed at elog_get_filter_tag_lvl:480.");
    QTest::newRow("level of a format") << Check::SetFmtLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at elog_set_fmt:320.");
    QTest::newRow("level of a query") << Check::FmtEnabledLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at get_fmt_enabled:735.");
    QTest::newRow("copy to null") << Check::CopyToNull << QByteArray("(dst) has assert failed at elog_strcpy:44.");
    QTest::newRow("copy from null") << Check::CopyFromNull << QByteArray("(src) has assert failed at elog_strcpy:45.");
    QTest::newRow("null record to file") << Check::NullRecord << QByteArray("(log) has assert failed at elog_file_write:129.");
}

void TestLog::failedChecksStopTheProgram()
{
    QFETCH(Check, check);
    QFETCH(QByteArray, record);

    const QString childLog = tempPath(QStringLiteral("child-%1.log").arg(QTest::currentDataTag()));
    const ChildResult child = runInChild(capturePath(), [&] {
        configureFile(childLog);
        failCheck(check);
        return 0;
    });
    QVERIFY(child.aborted);
    QVERIFY2(child.output.startsWith("A/elog     ["), child.output.constData());
    QVERIFY(child.output.endsWith("] " + record + '\n'));
    QCOMPARE(readFile(childLog), Bom + child.output);
}

void TestLog::byteOrderMark_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new file") << false << QByteArray() << Bom + "record\n";
    QTest::newRow("empty file") << true << QByteArray() << Bom + "record\n";
    QTest::newRow("file with records") << true << QByteArray("old\n") << QByteArray("old\nrecord\n");
    QTest::newRow("file with the mark only") << true << Bom << Bom + "record\n";
}

void TestLog::byteOrderMark()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    const QString name = tempPath(QStringLiteral("bom-%1.log").arg(QTest::currentDataTag()));
    if (exists)
        QVERIFY(writeFile(name, content));
    configureFile(name);
    writeRecord("record\n");
    QCOMPARE(readFile(name), expected);
}

void TestLog::rotation_data()
{
    QTest::addColumn<int>("pathBytes"); // 0: a short path
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QList<int>>("generations");

    QTest::newRow("at the limit") << 0 << MaxSize << QList<int> { 0 };
    QTest::newRow("one byte past") << 0 << MaxSize + 1 << QList<int> {};
    QTest::newRow("five generations") << 0 << MaxSize + 1 << QList<int> { 0, 1, 2, 3, 4 };
    QTest::newRow("middle generation missing") << 0 << MaxSize + 1 << QList<int> { 0, 1, 3, 4 };
    QTest::newRow("path of 300 bytes") << 300 << MaxSize + 1 << QList<int> { 0 };
    QTest::newRow("path of 510 bytes") << 510 << MaxSize + 1 << QList<int> { 0, 4 };
}

void TestLog::rotation()
{
    QFETCH(int, pathBytes);
    QFETCH(qint64, size);
    QFETCH(QList<int>, generations);

    const QTemporaryDir dir;
    const QString fileName = QStringLiteral("/tavox.log");
    const QString directory = pathBytes ? directoryOfLength(dir.path(), pathBytes - fileName.size(), QStringLiteral("a"))
                                        : dir.path();
    QVERIFY(QDir().mkpath(directory));
    const QString name = directory + fileName;
    const auto generation = [&](int n) { return name + '.' + QString::number(n); };
    const QByteArray current(int(size), 'c');
    QVERIFY(writeFile(name, current));
    for (int n : generations)
        QVERIFY(writeFile(generation(n), "generation " + QByteArray::number(n)));

    configureFile(name);
    writeRecord("record\n");

    if (size <= MaxSize) {
        QCOMPARE(readFile(name), current + "record\n");
        QCOMPARE(readFile(generation(0)), QByteArray("generation 0"));
        return;
    }
    QCOMPARE(readFile(name), Bom + "record\n");
    QCOMPARE(readFile(generation(0)), current);
    for (int n = 1; n <= 5; ++n) {
        const bool moved = n < 5 && generations.contains(n - 1);
        QCOMPARE(QFile::exists(generation(n)), moved);
        if (moved)
            QCOMPARE(readFile(generation(n)), "generation " + QByteArray::number(n - 1));
    }
}

void TestLog::failedRenameDropsRecord()
{
    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tavox.log"));
    const QByteArray current(int(MaxSize + 1), 'c');
    QVERIFY(writeFile(name, current));
    QVERIFY(writeFile(name + ".3", "generation 3"));
    // A directory that is not empty can neither be deleted nor replaced by a file.
    QVERIFY(QDir().mkpath(name + ".4/blocker"));

    configureFile(name);
    writeRecord("dropped\n");
    writeRecord("dropped too\n");
    QCOMPARE(readFile(name), current);
    QCOMPARE(readFile(name + ".3"), QByteArray("generation 3"));
    QVERIFY(!QFile::exists(name + ".0"));

    QVERIFY(QDir(name + ".4").removeRecursively());
    writeRecord("record\n");
    QCOMPARE(readFile(name), Bom + "record\n");
    QCOMPARE(readFile(name + ".0"), current);
    QCOMPARE(readFile(name + ".4"), QByteArray("generation 3"));
}

void TestLog::unopenableFileLeavesConsoleOutput()
{
    configureFile(m_dir.path()); // a directory cannot be opened as a file
    const QByteArray console = consoleOf(capturePath(), [] {
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "console only");
    });
    QVERIFY(console.startsWith("I/app      [") && console.endsWith("] console only\n"));

    configureFile(tempPath(QStringLiteral("missing/core.log")));
    writeRecord("nowhere\n");
    QVERIFY(!QFile::exists(tempPath(QStringLiteral("missing"))));
}

void TestLog::fileOfUnknownSizeIsNeverRotated()
{
    const QString name = tempPath(QStringLiteral("pipe.log"));
    QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    configureFile(name);
    writeRecord("through the pipe\n");

    QVERIFY(!QFile::exists(name + ".0"));
    QVERIFY(!QFileInfo(name).isFile());
    const int reader = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK);
    char buffer[64] = {};
    const ssize_t received = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    QCOMPARE(QByteArray(buffer, int(received)), QByteArray("through the pipe\n"));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
