// The log session, core and file. Their state is process-wide and a session cannot be stopped, so the slots
// run in order: a failed start, fresh starts in forked children, then the session beside the executable.
#include "app/DebugConsole.h"
#include "log/AppLog.h"
#include "log/elog.h"
#include "log/elog_file.h"

#include <QtTest>

#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray Bom("\xEF\xBB\xBF");
const qint64 MaxSize = 0x100000;
const int FixedPathBytes = int(sizeof("/logs/tavox_yyyyMMdd_HHmmss.log")) - 1;

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

void configureFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const ElogFileCfg cfg {name.constData(), size_t(MaxSize), 5};
    elog_file_config(&cfg);
}

// Records with each local time ("yyyy-MM-dd HH:mm:ss.zzz", or "yyyyMMdd_HHmmss" in a file name) as "T".
const QRegularExpression Times("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}|\\d{8}_\\d{6}");
const auto withoutTimes = [](const QByteArray &records) { return QString::fromUtf8(records).replace(Times, "T"); };

const QString Header = QStringLiteral("I/app      [T] ========== TAVOX log session start (UTF-8) ==========\n"
                                      "I/app      [T] Log file: %1\nI/app      [T] Debug console: %2\n");

// What `write` sends to standard output.
QByteArray consoleOf(const std::function<void()> &write)
{
    QTemporaryFile capture;
    capture.open();
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(capture.handle(), STDOUT_FILENO);
    write();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    ::close(saved);
    return readFile(capture.fileName());
}

// The current file and its generations .0 to .5.
QVector<QByteArray> contents(const QString &name)
{
    QVector<QByteArray> files {readFile(name)};
    for (int n = 0; n <= 5; ++n)
        files << readFile(name + '.' + QString::number(n));
    return files;
}

// A directory below `base` whose path takes exactly `bytes` bytes in UTF-8, of three-byte characters.
QString directoryOfLength(const QString &base, int bytes)
{
    QString directory = base;
    for (int part; (part = qMin(bytes - directory.toUtf8().size() - 1, 200)) >= 0;)
        directory += QLatin1Char('/') + QString(part / 3, QChar(0x4E91)) + QString(part % 3, QLatin1Char('a'));
    return directory;
}
}

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void pathOf511BytesIsRefused()
    {
        const QString appDir = directoryOfLength(m_dir.path(), 511 - FixedPathBytes);
        const QString warning = "[AppLog] Log path too long: \"" + appDir + "/logs/tavox_";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\A" + QRegularExpression::escape(warning)));
        QVERIFY(!appLogInitIn(appDir));
        QVERIFY(appLogFilePath().isEmpty() && appLogFilePathUtf8() == nullptr);
        QCOMPARE(consoleOf([] { elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "lost"); }), QByteArray());
    }

    // Nothing is written before a session starts; its file begins with the byte order mark and the header. A log
    // directory the process may not write to leaves it on the console; a failed check writes its record and aborts.
    void childSessions_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("last");   // record; a failed check's ends the child
        const QString logs = m_dir.filePath(QStringLiteral("read-only/logs"));
        const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ExeOther;
        QVERIFY(QDir().mkpath(logs) && QFile::setPermissions(logs, readAndEnter)
                && QFile::setPermissions(m_dir.path(), readAndEnter | QFile::WriteOwner));
        const QString running("I/app      [T] running\n");
        QTest::newRow("path of 510 bytes") << directoryOfLength(m_dir.path(), 510 - FixedPathBytes) << false << running;
        QTest::newRow("read-only log directory") << logs.chopped(5) << true << running;
        QTest::newRow("failed check") << m_dir.filePath(QStringLiteral("check")) << false
                                      << "A/elog     [T] (level <= ELOG_LVL_VERBOSE) has assert failed at "
                                         "elog_output:574.\n";
    }

    void childSessions()
    {
        QFETCH(QString, appDir);
        QFETCH(bool, readOnly);
        QFETCH(QString, last);
        const bool failedCheck = last.startsWith("A/");
        int status = -1;
        const QByteArray output = consoleOf([&] {
            const pid_t pid = fork();
            if (pid != 0) {
                waitpid(pid, &status, 0);
                return;
            }
            const rlimit noCoreDump {};
            setrlimit(RLIMIT_CORE, &noCoreDump);
            elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "before the session");
            // Root ignores permissions: the child gives that up first.
            if ((readOnly && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) || !appLogInitIn(appDir))
                _exit(1);
            elog_output(failedCheck ? ELOG_LVL_VERBOSE + 1 : ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "running");
            std::fflush(stdout);
            _exit(0);
        });
        QVERIFY(failedCheck ? WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT : status == 0);
        const QString logs = appDir + QStringLiteral("/logs");
        QCOMPARE(withoutTimes(output), Header.arg(logs + "/tavox_T.log", "off") + last);
        const QStringList files = QDir(logs).entryList(QDir::Files);
        QCOMPARE(files.size(), readOnly ? 0 : 1);
        QVERIFY(readOnly || readFile(logs + '/' + files.first()) == Bom + output);
    }

    void sessionStartsOnce()
    {
        const QByteArray console = consoleOf([] { QVERIFY(appLogInit()); });
        m_sessionFile = appLogFilePath();
        QCOMPARE(readFile(m_sessionFile), Bom + console);
        QCOMPARE(withoutTimes(console), Header.arg(QCoreApplication::applicationDirPath() + "/logs/tavox_T.log",
                                                   isConsoleActive() ? "attached" : "off"));

        QCOMPARE(consoleOf([] { QVERIFY(appLogInit()); }), QByteArray());
        QCOMPARE(readFile(m_sessionFile), Bom + console);
    }

    // Console and file get the same bytes; T stands for the local time.
    void records()
    {
        const auto record = [this](size_t fmt, const char *tag, const char *text = "Loading Main.qml...") {
            elog_set_fmt(ELOG_LVL_INFO, fmt);
            const qint64 size = QFileInfo(m_sessionFile).size();
            const QByteArray out = consoleOf([&] { elog_output(ELOG_LVL_INFO, tag, nullptr, nullptr, 0, "%s", text); });
            return (readFile(m_sessionFile).mid(int(size)) == out ? "" : "not in the file: ") + withoutTimes(out);
        };
        QCOMPARE(record(0x07, "app"), QStringLiteral("I/app      [T] Loading Main.qml...\n"));
        QCOMPARE(record(0x02, "ninechars"), QStringLiteral("ninechars Loading Main.qml...\n"));
        QCOMPARE(record(0x1C, "app"), QString("[T pid:%1 tid:%2] Loading Main.qml...\n").arg(getpid()).arg(gettid()));
        // 1024 bytes: 37 before the message, 986 of it, the line feed; the session's format again.
        QCOMPARE(record(0x07, "app", QByteArray(2000, 'x').constData()), "I/app      [T] " + QString(986, 'x') + '\n');
    }

    void rotation_data()
    {
        QTest::addColumn<qint64>("size");   // of the current file
        QTest::addColumn<QList<int>>("generations");
        QTest::newRow("empty file") << qint64(0) << QList<int>();
        QTest::newRow("at the limit") << MaxSize << QList<int> {0};
        QTest::newRow("one byte past") << MaxSize + 1 << QList<int>();
        QTest::newRow("five generations") << MaxSize + 1 << QList<int> {0, 1, 2, 3, 4};
        QTest::newRow("middle generation missing") << MaxSize + 1 << QList<int> {0, 1, 3, 4};
    }

    void rotation()
    {
        QFETCH(qint64, size);
        QFETCH(QList<int>, generations);
        const QTemporaryDir dir;
        const QString name = directoryOfLength(dir.path(), 300) + QStringLiteral("/tavox.log");   // over 256 bytes
        const QByteArray current(int(size), 'c');
        const bool rotates = size > MaxSize;
        QVector<QByteArray> expected {(size > 0 && !rotates ? current : Bom) + "record\n", rotates ? current : "",
                                      "", "", "", "", ""};
        QVERIFY(QDir().mkpath(QFileInfo(name).path()) && writeFile(name, current));
        for (int n : generations) {
            QVERIFY(writeFile(name + '.' + QString::number(n), QByteArray::number(n)));
            expected[qMin(n + 1 + rotates, 6)] = n + rotates < 5 ? QByteArray::number(n) : QByteArray();
        }
        configureFile(name);
        elog_file_write("record\n", 7);
        QCOMPARE(contents(name), expected);
    }

    // A directory that is not empty can be neither removed nor replaced. The process runs on: the record that
    // found the rename failing is dropped, and every later one while it keeps failing; then all goes on as usual.
    void failedRename()
    {
        const QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tavox.log"));
        const QByteArray current(int(MaxSize + 1), 'c');
        QVERIFY(writeFile(name, current) && writeFile(name + ".3", "3") && QDir().mkpath(name + ".4/not-empty"));
        configureFile(name);
        elog_file_write("dropped\n", 8);
        elog_file_write("dropped too\n", 12);
        QCOMPARE(contents(name), (QVector<QByteArray> {current, "", "", "", "3", "", ""}));
        QVERIFY(QDir(name + ".4").removeRecursively());
        elog_file_write("record\n", 7);
        QCOMPARE(contents(name), (QVector<QByteArray> {Bom + "record\n", current, "", "", "", "3", ""}));
    }

    // Many records: the current file and five generations, each at most the rotation size plus one record,
    // as the size test comes before the write; each begins with the byte order mark and a whole record.
    void totalSizeStaysBounded()
    {
        const QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tavox.log"));
        configureFile(name);
        const QByteArray record = QByteArray(999, 'r') + '\n';
        for (int i = 0; i < 8000; ++i)
            elog_file_write(record.constData(), size_t(record.size()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 6);
        for (const QByteArray &file : contents(name).mid(0, 6))
            QVERIFY(file.size() <= MaxSize + record.size() && file.startsWith(Bom + record));
    }

    void cleanupTestCase() { QFile::remove(m_sessionFile); }   // else one more file beside the executable per run

private:
    const QTemporaryDir m_dir;
    QString m_sessionFile;
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
