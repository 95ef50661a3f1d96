// The per-run log session. A session runs for the rest of the process once it
// has started, so the slots run in order: failures first, sessions that must
// start afresh in forked children, the session beside the executable last.

#include "app/DebugConsole.h"
#include "log/AppLog.h"
#include "log/elog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray Bom("\xEF\xBB\xBF");
const int FixedPathBytes = int(sizeof("/logs/tavox_yyyyMMdd_HHmmss.log")) - 1;
const QString TimePattern = QStringLiteral("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] ");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A directory below `base` whose path takes exactly `bytes` bytes in UTF-8;
// `filler` (one character) makes up the last component before plain ASCII.
QString directoryOfLength(const QString &base, int bytes, const QString &filler)
{
    QString directory = base;
    while (directory.toUtf8().size() < bytes) {
        const int missing = bytes - directory.toUtf8().size() - 1;
        QString component;
        while (component.toUtf8().size() + filler.toUtf8().size() <= qMin(missing, 200))
            component += filler;
        while (component.toUtf8().size() < qMin(missing, 200))
            component += QLatin1Char('a');
        directory += QLatin1Char('/') + component;
    }
    return directory;
}

// Sends standard output to a file for the lifetime of the object.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString &path) : m_path(path)
    {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QByteArray finish()
    {
        restore();
        return readFile(m_path);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QString m_path;
    int m_saved = -1;
};

struct ChildResult
{
    int exitCode = -1;
    QByteArray output;
};

// Runs `body` in a forked child whose standard output goes to outputPath; the
// child's exit code is what `body` returns.
ChildResult runInChild(const QString &outputPath, const std::function<int()> &body)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(QFile::encodeName(outputPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        const int code = body();
        std::fflush(stdout);
        _exit(code);
    }
    ChildResult result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = readFile(outputPath);
    return result;
}

QByteArray consoleOf(const QString &capturePath, const std::function<void()> &write)
{
    StdoutCapture capture(capturePath);
    write();
    return capture.finish();
}

QRegularExpression headerPattern(const QString &logPath, bool consoleActive)
{
    const QString console = consoleActive ? QStringLiteral("attached") : QStringLiteral("off");
    const QString record = QStringLiteral("I/app      ") + TimePattern;
    return QRegularExpression(
        QStringLiteral("\\A") + record
        + QRegularExpression::escape(QStringLiteral("========== TAVOX log session start (UTF-8) ==========\n"))
        + record + QRegularExpression::escape(QStringLiteral("Log file: ") + logPath + QLatin1Char('\n'))
        + record + QRegularExpression::escape(QStringLiteral("Debug console: ") + console + QLatin1Char('\n'))
        + QStringLiteral("\\z"));
}
}

class TestAppLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sessionPathNaming_data();
    void sessionPathNaming();
    void pathLimit_data();
    void pathLimit();

    void noOutputWithoutSession();
    void unusableLogDirectory();
    void tooLongPathStartsNoSession();
    void pathOfExactly510BytesStartsSession();
    void unwritableLogDirectoryKeepsConsole();

    void sessionStartsBesideExecutable();
    void everyLevelWritesLevelTagAndTime_data();
    void everyLevelWritesLevelTagAndTime();
    void secondInitWritesNoHeader();

private:
    QString capturePath() const { return m_dir.filePath(QStringLiteral("stdout.txt")); }

    QTemporaryDir m_dir;
    QString m_sessionFile;
};

void TestAppLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestAppLog::cleanupTestCase()
{
    // Each run would otherwise leave one more file beside the test executable.
    if (!m_sessionFile.isEmpty())
        QFile::remove(m_sessionFile);
}

void TestAppLog::sessionPathNaming_data()
{
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain directory") << QStringLiteral("/opt/tavox")
                                     << QByteArray("/opt/tavox/logs/tavox_20261205_103300.log");
    QTest::newRow("non-ASCII directory") << QStringLiteral("/opt/云台")
                                         << QByteArray("/opt/云台/logs/tavox_20261205_103300.log");
}

void TestAppLog::sessionPathNaming()
{
    QFETCH(QString, appDir);
    QFETCH(QByteArray, expected);

    const QDateTime start(QDate(2026, 12, 5), QTime(10, 33, 0));
    QCOMPARE(appLogSessionPath(appDir, start), expected);
}

void TestAppLog::pathLimit_data()
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

void TestAppLog::pathLimit()
{
    QFETCH(int, bytes);
    QFETCH(QString, filler);
    QFETCH(bool, fits);

    const QString appDir = directoryOfLength(QStringLiteral("/opt"), bytes - FixedPathBytes, filler);
    const QByteArray path = appLogSessionPath(appDir, QDateTime::currentDateTime());
    QCOMPARE(path.size(), bytes);
    QCOMPARE(appLogPathFits(path), fits);
}

void TestAppLog::noOutputWithoutSession()
{
    QVERIFY(appLogFilePath().isEmpty());
    QVERIFY(appLogFilePathUtf8() == nullptr);
    QCOMPARE(consoleOf(capturePath(), [] { elog_output(ELOG_LVL_ERROR, "app", nullptr, nullptr, 0, "lost"); }),
             QByteArray());
}

void TestAppLog::unusableLogDirectory()
{
    // A file where the application directory should be: "logs" cannot be made below it.
    const QString appDir = m_dir.filePath(QStringLiteral("not-a-directory"));
    QFile blocker(appDir);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const QString warning = QStringLiteral("[AppLog] Failed to create log directory: \"%1/logs\"").arg(appDir);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QVERIFY(!appLogInitIn(appDir));
    QVERIFY(appLogFilePath().isEmpty());
    QCOMPARE(consoleOf(capturePath(), [] { elog_output(ELOG_LVL_ERROR, "app", nullptr, nullptr, 0, "lost"); }),
             QByteArray());
}

void TestAppLog::tooLongPathStartsNoSession()
{
    const QString appDir = directoryOfLength(m_dir.path(), 511 - FixedPathBytes, QStringLiteral("a"));
    QVERIFY(QDir().mkpath(appDir));

    const QRegularExpression warning(QStringLiteral("\\A") + QRegularExpression::escape(
        QStringLiteral("[AppLog] Log path too long: \"%1/logs/tavox_").arg(appDir)) + QStringLiteral("\\d{8}_\\d{6}\\.log\"\\z"));
    QTest::ignoreMessage(QtWarningMsg, warning);
    QVERIFY(!appLogInitIn(appDir));
    QVERIFY(appLogFilePath().isEmpty());
    QVERIFY(appLogFilePathUtf8() == nullptr);
}

void TestAppLog::pathOfExactly510BytesStartsSession()
{
    const QString appDir = directoryOfLength(m_dir.path(), 510 - FixedPathBytes, QStringLiteral("云"));
    const ChildResult child = runInChild(capturePath(), [&] {
        return appLogInitIn(appDir) && std::strlen(appLogFilePathUtf8()) == 510 ? 0 : 1;
    });
    QCOMPARE(child.exitCode, 0);

    const QStringList files = QDir(appDir + QStringLiteral("/logs")).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString logPath = appDir + QStringLiteral("/logs/") + files.first();
    QCOMPARE(logPath.toUtf8().size(), 510);
    const QByteArray content = readFile(logPath);
    QVERIFY(content.startsWith(Bom));
    QCOMPARE(content.mid(Bom.size()), child.output);
    // The child's standard output is a file, not a terminal.
    QVERIFY2(headerPattern(logPath, false).match(QString::fromUtf8(child.output)).hasMatch(),
             child.output.constData());
}

void TestAppLog::unwritableLogDirectoryKeepsConsole()
{
    const QString appDir = m_dir.filePath(QStringLiteral("read-only"));
    const QString logDir = appDir + QStringLiteral("/logs");
    QVERIFY(QDir().mkpath(logDir));
    // The child gives up root rights below, so it must be able to reach the directory.
    QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                    | QFile::ReadOther | QFile::ExeOther));
    QVERIFY(QFile::setPermissions(logDir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));

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

void TestAppLog::sessionStartsBesideExecutable()
{
    const QDateTime before = QDateTime::currentDateTime();
    bool started = false;
    bool consoleActive = true;
    const QByteArray console = consoleOf(capturePath(), [&] {
        consoleActive = isConsoleActive();
        started = appLogInit();
    });
    QVERIFY(started);

    const QString logPath = appLogFilePath();
    m_sessionFile = logPath;
    const QString prefix = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/logs/tavox_");
    const QRegularExpression namePattern(QStringLiteral("\\A") + QRegularExpression::escape(prefix)
                                         + QStringLiteral("(\\d{8}_\\d{6})\\.log\\z"));
    const QRegularExpressionMatch name = namePattern.match(logPath);
    QVERIFY2(name.hasMatch(), qPrintable(logPath));
    const QDateTime stamp = QDateTime::fromString(name.captured(1), QStringLiteral("yyyyMMdd_HHmmss"));
    QVERIFY(stamp >= before.addSecs(-1) && stamp <= QDateTime::currentDateTime());
    QCOMPARE(QByteArray(appLogFilePathUtf8()), logPath.toUtf8());

    const QByteArray content = readFile(logPath);
    QVERIFY(content.startsWith(Bom));
    QCOMPARE(content.mid(Bom.size()), console);
    QVERIFY2(headerPattern(logPath, consoleActive).match(QString::fromUtf8(console)).hasMatch(), console.constData());
}

void TestAppLog::everyLevelWritesLevelTagAndTime_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("prefix");

    QTest::newRow("assert") << 0 << QStringLiteral("A/");
    QTest::newRow("error") << 1 << QStringLiteral("E/");
    QTest::newRow("warn") << 2 << QStringLiteral("W/");
    QTest::newRow("info") << 3 << QStringLiteral("I/");
    QTest::newRow("debug") << 4 << QStringLiteral("D/");
    QTest::newRow("verbose") << 5 << QStringLiteral("V/");
}

void TestAppLog::everyLevelWritesLevelTagAndTime()
{
    QFETCH(int, level);
    QFETCH(QString, prefix);

    const QByteArray record = consoleOf(capturePath(), [&] {
        elog_output(uint8_t(level), "app", "main.cpp", "main", 42, "Creating AppBridge...");
    });
    const QRegularExpression pattern(QStringLiteral("\\A") + prefix + QStringLiteral("app      ") + TimePattern
                                     + QStringLiteral("Creating AppBridge\\.\\.\\.\\n\\z"));
    QVERIFY2(pattern.match(QString::fromUtf8(record)).hasMatch(), record.constData());
}

void TestAppLog::secondInitWritesNoHeader()
{
    const QString logPath = appLogFilePath();
    QVERIFY(!logPath.isEmpty());
    const QByteArray contentBefore = readFile(logPath);
    const QString otherDir = m_dir.filePath(QStringLiteral("other"));

    bool again = false;
    bool elsewhere = false;
    const QByteArray console = consoleOf(capturePath(), [&] {
        again = appLogInit();
        elsewhere = appLogInitIn(otherDir);
    });
    QVERIFY(again);
    QVERIFY(elsewhere);
    QCOMPARE(console, QByteArray());
    QCOMPARE(appLogFilePath(), logPath);
    QCOMPARE(readFile(logPath), contentBefore);
    QVERIFY(!QFile::exists(otherDir));
}

QTEST_GUILESS_MAIN(TestAppLog)
#include "tst_applog.moc"
