// The log core and its rotating file output. The core's state is process-wide
// and output cannot be switched off again, so the slots run in order: start-up
// first, then records, then the file output on files of its own.

#include "log/elog.h"
#include "log/elog_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
const QByteArray Bom("\xEF\xBB\xBF");
const qint64 MaxSize = 0x100000;
const char DefaultFileName[] = "/tmp/log_file.log";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void configureFile(const QString &path, size_t maxSize = MaxSize, int maxRotate = 5)
{
    const QByteArray name = QFile::encodeName(path);
    ElogFileCfg cfg {};
    cfg.name = name.constData();
    cfg.max_size = maxSize;
    cfg.max_rotate = maxRotate;
    elog_file_config(&cfg);
}

void writeRecord(const QByteArray &record)
{
    elog_file_write(record.constData(), size_t(record.size()));
}

const char *orNull(const QByteArray &text)
{
    return text.isNull() ? nullptr : text.constData();
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
    bool aborted = false;
    int exitCode = -1;
    QByteArray output;
};

// Runs `body` in a forked child whose standard output goes to outputPath.
ChildResult runInChild(const QString &outputPath, const std::function<void()> &body)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit noCoreDump {};
        setrlimit(RLIMIT_CORE, &noCoreDump);
        const int fd = ::open(QFile::encodeName(outputPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    ChildResult result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return result;
    result.aborted = WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = readFile(outputPath);
    return result;
}

// Expected record text with {time}, {pid} and {tid} standing for the platform texts.
QRegularExpression recordPattern(const QString &expected, unsigned long threadId)
{
    QString pattern = QRegularExpression::escape(expected);
    pattern.replace(QRegularExpression::escape(QStringLiteral("{time}")),
                    QStringLiteral("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})"));
    pattern.replace(QRegularExpression::escape(QStringLiteral("{pid}")), QString::number(getpid()));
    pattern.replace(QRegularExpression::escape(QStringLiteral("{tid}")), QString::number(threadId));
    return QRegularExpression(QStringLiteral("\\A") + pattern + QStringLiteral("\\z"));
}

bool isRecentLocalTime(const QString &text)
{
    const QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    return time.isValid() && qAbs(time.msecsTo(QDateTime::currentDateTime())) < 10000;
}

enum class Check { OutputLevel, OutputTag, SetFmtLevel, FmtEnabledLevel, CopyToNull, CopyFromNull, NullRecord };

void failCheck(Check check)
{
    char buffer[8] = {};
    switch (check) {
    case Check::OutputLevel:
        elog_output(ELOG_LVL_VERBOSE + 1, "app", nullptr, nullptr, 0, "never written");
        break;
    case Check::OutputTag:
        elog_output(ELOG_LVL_INFO, nullptr, nullptr, nullptr, 0, "never written");
        break;
    case Check::SetFmtLevel:
        elog_set_fmt(ELOG_LVL_VERBOSE + 1, ELOG_FMT_LVL);
        break;
    case Check::FmtEnabledLevel:
        get_fmt_enabled(ELOG_LVL_VERBOSE + 1, ELOG_FMT_LVL);
        break;
    case Check::CopyToNull:
        elog_strcpy(0, nullptr, "x");
        break;
    case Check::CopyFromNull:
        elog_strcpy(0, buffer, nullptr);
        break;
    case Check::NullRecord:
        elog_file_write(nullptr, 1);
        break;
    }
}
}

Q_DECLARE_METATYPE(Check)

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fileWriteBeforeInitIsFatal();
    void startsOnDefaultFileWithoutSession();
    void dropsRecordsBeforeStart();

    void recordLayout_data();
    void recordLayout();
    void formatsArguments();
    void recordLength_data();
    void recordLength();
    void longMessageWithPrefixIsCut();
    void elogStrcpy_data();
    void elogStrcpy();
    void fmtEnabled_data();
    void fmtEnabled();
    void recordsNameTheirThread();
    void concurrentWritersKeepRecordsWhole();
    void failedChecksStopTheProgram_data();
    void failedChecksStopTheProgram();
    void unopenableFileLeavesConsoleOutput();

    void byteOrderMark_data();
    void byteOrderMark();
    void rotatesOnlyPastMaxSize_data();
    void rotatesOnlyPastMaxSize();
    void shiftsFiveGenerations();
    void skipsMissingGeneration();
    void rotatesLongPaths_data();
    void rotatesLongPaths();
    void failedRenameDropsRecord();
    void honoursConfiguredLimits();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray outputOf(const std::function<void()> &write);

    QTemporaryDir m_dir;
    QString m_logPath;
};

void TestLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_logPath = path(QStringLiteral("core.log"));
}

// Records written to stdout must also reach the file, byte for byte.
QByteArray TestLog::outputOf(const std::function<void()> &write)
{
    const qint64 before = QFileInfo(m_logPath).size();
    StdoutCapture capture(path(QStringLiteral("stdout.txt")));
    write();
    const QByteArray console = capture.finish();
    const QByteArray inFile = readFile(m_logPath).mid(int(before));
    if (console != inFile)
        qWarning() << "console and file differ:" << console << inFile;
    return console == inFile ? console : QByteArray("console and file differ");
}

void TestLog::fileWriteBeforeInitIsFatal()
{
    const ChildResult child = runInChild(path(QStringLiteral("child.txt")), [] {
        elog_file_write("x\n", 2);
    });
    QVERIFY(child.aborted);
    QCOMPARE(child.output, QByteArray());
}

void TestLog::startsOnDefaultFileWithoutSession()
{
    const bool existedBefore = QFile::exists(QString::fromLatin1(DefaultFileName));
    QCOMPARE(elog_init(), ELOG_NO_ERR);
    QVERIFY(QFile::exists(QString::fromLatin1(DefaultFileName)));
    if (!existedBefore) {
        QCOMPARE(readFile(QString::fromLatin1(DefaultFileName)), Bom);
        QFile::remove(QString::fromLatin1(DefaultFileName));
    }
    QCOMPARE(elog_init(), ELOG_NO_ERR);
    configureFile(m_logPath);
    QCOMPARE(readFile(m_logPath), Bom);
}

void TestLog::dropsRecordsBeforeStart()
{
    for (uint8_t level = ELOG_LVL_ASSERT; level <= ELOG_LVL_VERBOSE; ++level)
        elog_set_fmt(level, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    QCOMPARE(outputOf([] { elog_output(ELOG_LVL_ASSERT, "app", nullptr, nullptr, 0, "too early"); }),
             QByteArray());
    QCOMPARE(readFile(m_logPath), Bom);

    elog_start();
    QVERIFY(outputOf([] { elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "started"); }).endsWith("] started\n"));
}

void TestLog::recordLayout_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("fmt");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("func");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");

    const QByteArray none;
    const QByteArray file("main.cpp");
    const QByteArray func("main");
    QTest::newRow("level, tag and time") << 3 << 0x07 << QByteArray("app") << none << none << 0
                                          << "I/app      [{time}] Loading Main.qml...\n";
    QTest::newRow("assert prefix") << 0 << 0x03 << QByteArray("app") << none << none << 0
                                   << "A/app      Loading Main.qml...\n";
    QTest::newRow("error prefix") << 1 << 0x01 << QByteArray("app") << none << none << 0 << "E/Loading Main.qml...\n";
    QTest::newRow("warn prefix") << 2 << 0x01 << QByteArray("app") << none << none << 0 << "W/Loading Main.qml...\n";
    QTest::newRow("debug prefix") << 4 << 0x01 << QByteArray("app") << none << none << 0 << "D/Loading Main.qml...\n";
    QTest::newRow("verbose prefix") << 5 << 0x01 << QByteArray("app") << none << none << 0 << "V/Loading Main.qml...\n";
    QTest::newRow("eight-character tag") << 3 << 0x02 << QByteArray("eightchr") << none << none << 0
                                         << "eightchr Loading Main.qml...\n";
    QTest::newRow("nine-character tag") << 3 << 0x02 << QByteArray("ninechars") << none << none << 0
                                        << "ninechars Loading Main.qml...\n";
    QTest::newRow("empty tag") << 3 << 0x02 << QByteArray("") << none << none << 0
                               << "         Loading Main.qml...\n";
    QTest::newRow("time, process and thread") << 3 << 0x1C << QByteArray("app") << none << none << 0
                                              << "[{time} pid:{pid} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("process and thread") << 3 << 0x18 << QByteArray("app") << none << none << 0
                                        << "[pid:{pid} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("time and thread") << 3 << 0x14 << QByteArray("app") << none << none << 0
                                     << "[{time} tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("time and process") << 3 << 0x0C << QByteArray("app") << none << none << 0
                                      << "[{time} pid:{pid}] Loading Main.qml...\n";
    QTest::newRow("thread only") << 3 << 0x10 << QByteArray("app") << none << none << 0
                                 << "[tid:{tid}] Loading Main.qml...\n";
    QTest::newRow("no format bits") << 3 << 0x00 << QByteArray("app") << file << func << 42 << "Loading Main.qml...\n";
    QTest::newRow("file, line and function") << 3 << 0xE0 << QByteArray("app") << file << func << 42
                                             << "(main.cpp:42 main)Loading Main.qml...\n";
    QTest::newRow("file and line") << 3 << 0xA0 << QByteArray("app") << file << func << 42
                                   << "(main.cpp 42)Loading Main.qml...\n";
    QTest::newRow("file and function") << 3 << 0x60 << QByteArray("app") << file << func << 42
                                       << "(main.cpp:main)Loading Main.qml...\n";
    QTest::newRow("line and function") << 3 << 0xC0 << QByteArray("app") << file << func << 42
                                       << "(42 main)Loading Main.qml...\n";
    QTest::newRow("line only") << 3 << 0x80 << QByteArray("app") << file << func << 42 << "(42)Loading Main.qml...\n";
    QTest::newRow("function only") << 3 << 0x40 << QByteArray("app") << file << func << 42
                                   << "(main)Loading Main.qml...\n";
    QTest::newRow("file only") << 3 << 0x20 << QByteArray("app") << file << func << 42
                               << "(main.cpp)Loading Main.qml...\n";
    QTest::newRow("line cut to four digits") << 3 << 0x80 << QByteArray("app") << none << none << 123456
                                             << "(1234)Loading Main.qml...\n";
    QTest::newRow("no position passed") << 3 << 0xE0 << QByteArray("app") << none << none << 0
                                        << "Loading Main.qml...\n";
    QTest::newRow("every bit") << 3 << 0xFF << QByteArray("app") << file << func << 42
                               << "I/app      [{time} pid:{pid} tid:{tid}] (main.cpp:42 main)Loading Main.qml...\n";
}

void TestLog::recordLayout()
{
    QFETCH(int, level);
    QFETCH(int, fmt);
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, func);
    QFETCH(int, line);
    QFETCH(QString, expected);

    elog_set_fmt(uint8_t(level), size_t(fmt));
    const QByteArray record = outputOf([&] {
        elog_output(uint8_t(level), tag.constData(), orNull(file), orNull(func), line, "%s", "Loading Main.qml...");
    });
    elog_set_fmt(uint8_t(level), ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);

    const QRegularExpressionMatch match = recordPattern(expected, gettid()).match(QString::fromUtf8(record));
    QVERIFY2(match.hasMatch(), record.constData());
    if (expected.contains(QStringLiteral("{time}")))
        QVERIFY2(isRecentLocalTime(match.captured(1)), qPrintable(match.captured(1)));
}

void TestLog::formatsArguments()
{
    elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_LVL | ELOG_FMT_TAG);
    const QByteArray record = outputOf([] {
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Font loaded: %s, %d%% %05.1f", "思源黑体", -7, 2.5);
    });
    elog_set_fmt(ELOG_LVL_INFO, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    QCOMPARE(record, QByteArray("I/app      Font loaded: 思源黑体, -7% 002.5\n"));
}

void TestLog::recordLength_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<int>("fmt");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("1022-byte message fits")
        << QByteArray("app") << 0 << QByteArray(1022, 'x') << QByteArray(1022, 'x') + '\n';
    QTest::newRow("1023-byte message fills the record")
        << QByteArray("app") << 0 << QByteArray(1023, 'x') << QByteArray(1023, 'x') + '\n';
    QTest::newRow("1024-byte message loses its last byte")
        << QByteArray("app") << 0 << QByteArray(1024, 'x') << QByteArray(1023, 'x') + '\n';
    QTest::newRow("2000-byte message")
        << QByteArray("app") << 0 << QByteArray(2000, 'x') << QByteArray(1023, 'x') + '\n';
    QTest::newRow("tag longer than a record")
        << QByteArray(1100, 't') << int(ELOG_FMT_TAG) << QByteArray("message") << QByteArray(1023, 't') + '\n';
    QTest::newRow("tag filling all but one byte")
        << QByteArray(1022, 't') << int(ELOG_FMT_TAG) << QByteArray("message") << QByteArray(1022, 't') + " \n";
}

void TestLog::recordLength()
{
    QFETCH(QByteArray, tag);
    QFETCH(int, fmt);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);

    elog_set_fmt(ELOG_LVL_DEBUG, size_t(fmt));
    const QByteArray record = outputOf([&] {
        elog_output(ELOG_LVL_DEBUG, tag.constData(), nullptr, nullptr, 0, "%s", message.constData());
    });
    elog_set_fmt(ELOG_LVL_DEBUG, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    QCOMPARE(record.size(), expected.size());
    QCOMPARE(record, expected);
}

void TestLog::longMessageWithPrefixIsCut()
{
    const QByteArray message(2000, 'x');
    const QByteArray record = outputOf([&] {
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "%s", message.constData());
    });
    QCOMPARE(record.size(), ELOG_LINE_BUF_SIZE);
    const QRegularExpression pattern(QStringLiteral("\\AI/app {6}\\[[-0-9 :.]{23}\\] x+\\n\\z"));
    QVERIFY2(pattern.match(QString::fromLatin1(record)).hasMatch(), record.left(40).constData());
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

    char destination[8];
    std::fill(std::begin(destination), std::end(destination), '#');
    QCOMPARE(int(elog_strcpy(size_t(curLen), destination, source.constData())), copied);
    QCOMPARE(QByteArray(destination, copied), source.left(copied));
    QCOMPARE(destination[copied], '#');
}

void TestLog::fmtEnabled_data()
{
    QTest::addColumn<int>("query");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("one bit on") << int(ELOG_FMT_TIME) << true;
    QTest::newRow("one of two bits on") << int(ELOG_FMT_LVL | ELOG_FMT_TAG) << true;
    QTest::newRow("bit off") << int(ELOG_FMT_LVL) << false;
    QTest::newRow("no bits asked") << 0 << false;
}

void TestLog::fmtEnabled()
{
    QFETCH(int, query);
    QFETCH(bool, enabled);

    elog_set_fmt(ELOG_LVL_VERBOSE, ELOG_FMT_TAG | ELOG_FMT_TIME);
    QCOMPARE(get_fmt_enabled(ELOG_LVL_VERBOSE, size_t(query)), enabled);
    elog_set_fmt(ELOG_LVL_VERBOSE, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
}

void TestLog::recordsNameTheirThread()
{
    elog_set_fmt(ELOG_LVL_DEBUG, ELOG_FMT_T_INFO);
    unsigned long writerId = 0;
    const QByteArray record = outputOf([&] {
        std::thread writer([&] {
            writerId = gettid();
            elog_output(ELOG_LVL_DEBUG, "app", nullptr, nullptr, 0, "from a worker");
        });
        writer.join();
    });
    elog_set_fmt(ELOG_LVL_DEBUG, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    QVERIFY(writerId != static_cast<unsigned long>(getpid()));
    QCOMPARE(record, "[tid:" + QByteArray::number(qulonglong(writerId)) + "] from a worker\n");
}

void TestLog::concurrentWritersKeepRecordsWhole()
{
    const int perThread = 500;
    const QByteArray output = outputOf([&] {
        auto write = [&](const char *name) {
            for (int i = 0; i < perThread; ++i)
                elog_output(ELOG_LVL_INFO, name, nullptr, nullptr, 0, "record %d of %s", i, name);
        };
        std::thread first(write, "first");
        std::thread second(write, "second");
        first.join();
        second.join();
    });
    const QList<QByteArray> lines = output.split('\n');
    QCOMPARE(lines.size(), 2 * perThread + 1);
    const QRegularExpression pattern(
        QStringLiteral("\\AI/(first|second) +\\[[-0-9 :.]{23}\\] record \\d+ of (first|second)\\z"));
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.at(i)));
        QVERIFY2(match.hasMatch() && match.captured(1) == match.captured(2), lines.at(i).constData());
    }
}

void TestLog::failedChecksStopTheProgram_data()
{
    QTest::addColumn<Check>("check");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("record level above verbose")
        << Check::OutputLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at elog_output:574.");
    QTest::newRow("record without tag")
        << Check::OutputTag << QByteArray("(tag != ((void *)0)) has assert failed at elog_get_filter_tag_lvl:480.");
    QTest::newRow("format of level above verbose")
        << Check::SetFmtLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at elog_set_fmt:320.");
    QTest::newRow("format query above verbose")
        << Check::FmtEnabledLevel << QByteArray("(level <= ELOG_LVL_VERBOSE) has assert failed at get_fmt_enabled:735.");
    QTest::newRow("copy to null") << Check::CopyToNull << QByteArray("(dst) has assert failed at elog_strcpy:44.");
    QTest::newRow("copy from null") << Check::CopyFromNull << QByteArray("(src) has assert failed at elog_strcpy:45.");
    QTest::newRow("null record to file")
        << Check::NullRecord << QByteArray("(log) has assert failed at elog_file_write:129.");
}

void TestLog::failedChecksStopTheProgram()
{
    QFETCH(Check, check);
    QFETCH(QByteArray, record);

    const QString childLog = path(QStringLiteral("child.log"));
    QFile::remove(childLog);
    const ChildResult child = runInChild(path(QStringLiteral("child.txt")), [&] {
        configureFile(childLog);
        elog_set_fmt(ELOG_LVL_ASSERT, ELOG_FMT_LVL | ELOG_FMT_TAG);
        failCheck(check);
    });
    QVERIFY(child.aborted);
    const QByteArray expected = "A/elog     " + record + '\n';
    QCOMPARE(child.output, expected);
    QCOMPARE(readFile(childLog), Bom + expected);
}

void TestLog::unopenableFileLeavesConsoleOutput()
{
    const QString directory = path(QStringLiteral("a-directory"));
    QVERIFY(QDir().mkpath(directory));
    configureFile(directory);
    StdoutCapture capture(path(QStringLiteral("stdout.txt")));
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "console only");
    QVERIFY(capture.finish().endsWith("] console only\n"));

    configureFile(path(QStringLiteral("missing/dir/core.log")));
    writeRecord("nowhere\n");
    QVERIFY(!QFile::exists(path(QStringLiteral("missing"))));
    configureFile(m_logPath);
}

void TestLog::byteOrderMark_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("new file") << false << QByteArray() << Bom + "record\n";
    QTest::newRow("empty file") << true << QByteArray() << Bom + "record\n";
    QTest::newRow("file with records") << true << QByteArray("old\n") << QByteArray("old\nrecord\n");
    QTest::newRow("file with only the mark") << true << Bom << Bom + "record\n";
}

void TestLog::byteOrderMark()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    const QString name = path(QStringLiteral("bom-%1.log").arg(QTest::currentDataTag()));
    if (exists)
        QVERIFY(writeFile(name, content));
    configureFile(name);
    writeRecord("record\n");
    QCOMPARE(readFile(name), expected);
}

void TestLog::rotatesOnlyPastMaxSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("rotates");

    QTest::newRow("at the limit") << MaxSize << false;
    QTest::newRow("one byte past") << MaxSize + 1 << true;
}

void TestLog::rotatesOnlyPastMaxSize()
{
    QFETCH(qint64, size);
    QFETCH(bool, rotates);

    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tavox.log"));
    const QByteArray old(int(size), 'c');
    QVERIFY(writeFile(name, old));
    configureFile(name);
    writeRecord("record\n");

    if (rotates) {
        QCOMPARE(readFile(name + ".0"), old);
        QCOMPARE(readFile(name), Bom + "record\n");
    } else {
        QVERIFY(!QFile::exists(name + ".0"));
        QCOMPARE(readFile(name), old + "record\n");
    }
}

void TestLog::shiftsFiveGenerations()
{
    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tavox.log"));
    const QByteArray current(int(MaxSize + 1), 'c');
    QVERIFY(writeFile(name, current));
    for (int n = 0; n < 5; ++n)
        QVERIFY(writeFile(name + '.' + QString::number(n), "generation " + QByteArray::number(n)));

    configureFile(name);
    writeRecord("record\n");

    QCOMPARE(readFile(name), Bom + "record\n");
    QCOMPARE(readFile(name + ".0"), current);
    for (int n = 1; n < 5; ++n)
        QCOMPARE(readFile(name + '.' + QString::number(n)), "generation " + QByteArray::number(n - 1));
    QVERIFY(!QFile::exists(name + ".5"));
}

void TestLog::skipsMissingGeneration()
{
    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tavox.log"));
    const QByteArray current(int(MaxSize + 1), 'c');
    QVERIFY(writeFile(name, current));
    for (int n : { 0, 1, 3, 4 })
        QVERIFY(writeFile(name + '.' + QString::number(n), "generation " + QByteArray::number(n)));

    configureFile(name);
    writeRecord("record\n");

    QCOMPARE(readFile(name), Bom + "record\n");
    QCOMPARE(readFile(name + ".0"), current);
    QCOMPARE(readFile(name + ".1"), QByteArray("generation 0"));
    QCOMPARE(readFile(name + ".2"), QByteArray("generation 1"));
    QVERIFY(!QFile::exists(name + ".3"));
    QCOMPARE(readFile(name + ".4"), QByteArray("generation 3"));
}

void TestLog::rotatesLongPaths_data()
{
    QTest::addColumn<int>("length");

    QTest::newRow("300 bytes") << 300;
    QTest::newRow("510 bytes") << 510;
}

void TestLog::rotatesLongPaths()
{
    QFETCH(int, length);

    const QTemporaryDir dir;
    QString directory = dir.path();
    const int nameLength = int(QStringLiteral("/tavox.log").size());
    while (directory.toUtf8().size() + nameLength < length) {
        const int missing = length - nameLength - directory.toUtf8().size() - 1;
        directory += '/' + QString(qMin(missing, 200), QLatin1Char('d'));
    }
    QVERIFY(QDir().mkpath(directory));
    const QString name = directory + QStringLiteral("/tavox.log");
    QCOMPARE(name.toUtf8().size(), length);

    const QByteArray current(int(MaxSize + 1), 'c');
    QVERIFY(writeFile(name, current));
    QVERIFY(writeFile(name + ".0", "generation 0"));
    configureFile(name);
    writeRecord("record\n");

    QCOMPARE(readFile(name), Bom + "record\n");
    QCOMPARE(readFile(name + ".0"), current);
    QCOMPARE(readFile(name + ".1"), QByteArray("generation 0"));
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

void TestLog::honoursConfiguredLimits()
{
    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("small.log"));
    configureFile(name, 10, 2);
    // The mark and one record exceed ten bytes, so every later record rotates.
    for (const char *record : { "record1\n", "record2\n", "record3\n", "record4\n" })
        writeRecord(record);

    QCOMPARE(readFile(name), Bom + "record4\n");
    QCOMPARE(readFile(name + ".0"), Bom + "record3\n");
    QCOMPARE(readFile(name + ".1"), Bom + "record2\n");
    QVERIFY(!QFile::exists(name + ".2"));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
