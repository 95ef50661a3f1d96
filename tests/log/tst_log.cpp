// The log session, core and file. Their state is process-wide and a session cannot be stopped, so the slots
// run in order: a failed start, fresh starts in forked children, then the session beside the executable.
#include "app/DebugConsole.h"
#include "log/AppLog.h"
#include "log/Diagnostics.h"
#include "log/LogLock.h"
#include "log/LogPruning.h"
#include "log/elog.h"
#include "log/elog_file.h"
#include "support/ChildProcess.h"
#include "support/MessageCapture.h"
#include "support/TestFiles.h"

#include <QtTest>

#include <csignal>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray Bom("\xEF\xBB\xBF");
const qint64 MaxSize = 0x100000;
const int FixedPathBytes = int(sizeof("/logs/tavox_yyyyMMdd_HHmmss.log")) - 1;

void configureFile(const QString &path, qint64 maxSize = MaxSize)
{
    const QByteArray name = QFile::encodeName(path);
    const ElogFileCfg cfg {name.constData(), size_t(maxSize), 5};
    elog_file_config(&cfg);
}

void writeRecord(const QByteArray &record)
{
    elog_file_write(record.constData(), size_t(record.size()));
}

// Numbered records of 1000 bytes, so a file's content tells which ones it holds.
QByteArray numbered(int n)
{
    const QByteArray number = QByteArray::number(n);
    return number + QByteArray(999 - number.size(), '.') + '\n';
}

QByteArray numberedRange(int from, int to)
{
    QByteArray records;
    for (int n = from; n < to; ++n)
        records += numbered(n);
    return records;
}

// Records with each local time ("yyyy-MM-dd HH:mm:ss.zzz", or "yyyyMMdd_HHmmss" in a file name) as "T".
const QRegularExpression Times("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}|\\d{8}_\\d{6}");
const auto withoutTimes = [](const QByteArray &records) { return QString::fromUtf8(records).replace(Times, "T"); };

const QString Header = QStringLiteral("I/app      [T] ========== TAVOX log session start (UTF-8) ==========\n"
                                      "I/app      [T] Log file: %1\nI/app      [T] Debug console: %2\n");

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

QVector<QByteArray> contents(const QString &name)
{
    QVector<QByteArray> files {readFile(name)};
    for (int n = 0; n <= 5; ++n)
        files << readFile(name + '.' + QString::number(n));
    return files;
}

ino_t inodeOf(const QString &path)
{
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
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
    // Diagnostic lines are not part of the log file: with Qt's debug output switched off and no console attached
    // nobody would read them, so nobody pays for formatting them.
    void diagnosticsAreHeardWhileDebugOutputIsOn()
    {
        if (isConsoleActive())
            QSKIP("standard output is a terminal: the console hears everything");
        QVERIFY(diagnosticsHeard());
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        const bool heardWhileOff = diagnosticsHeard();
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(!heardWhileOff);
        QVERIFY(diagnosticsHeard());
    }

    // Nothing is written before a session starts, nor after a start that failed.
    void childSessions_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("openError");   // empty when the file opens
        QTest::addColumn<QString>("last");        // record; a failed check's ends the child
        const QString logs = m_dir.filePath(QStringLiteral("read-only/logs"));
        const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ExeOther;
        QVERIFY(QDir().mkpath(logs) && QFile::setPermissions(logs, readAndEnter)
                && QFile::setPermissions(m_dir.path(), readAndEnter | QFile::WriteOwner));
        // Whichever second the child starts in while the test may run, its file name is a directory already.
        const QString taken = m_dir.filePath(QStringLiteral("taken"));
        for (int second = 0; second < 180; ++second) {
            const QDateTime start = QDateTime::currentDateTime().addSecs(second);
            QVERIFY(QDir().mkpath(QString::fromUtf8(appLogSessionPath(taken, start))));
        }
        const QString running("I/app      [T] running\n");
        QTest::newRow("path of 510 bytes") << directoryOfLength(m_dir.path(), 510 - FixedPathBytes) << false
                                           << true << QString() << running;
        QTest::newRow("path of 511 bytes") << directoryOfLength(m_dir.path(), 511 - FixedPathBytes) << false
                                           << false << QString() << QString();
        QTest::newRow("read-only log directory") << logs.chopped(5) << true << true << "Permission denied" << running;
        QTest::newRow("file name taken by a directory") << taken << false << true << "Is a directory" << running;
        QTest::newRow("failed check") << m_dir.filePath(QStringLiteral("check")) << false << true << QString()
                                      << "A/elog     [T] (level <= ELOG_LVL_VERBOSE) has assert failed at elog_output:N.\n";
    }

    void childSessions()
    {
        QFETCH(QString, appDir);
        QFETCH(bool, readOnly);
        QFETCH(bool, starts);
        QFETCH(QString, openError);
        QFETCH(QString, last);
        const bool failedCheck = last.startsWith("A/");
        const ChildRun run = runInChild([&] {
            elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "before the session");
            // Root ignores permissions: the child gives that up first.
            if (readOnly && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(1);
            const bool started = appLogInitIn(appDir);
            const bool named = !appLogFilePath().isEmpty() && appLogFilePathUtf8() != nullptr;
            if (started == starts && named == (starts && openError.isEmpty()))
                elog_output(failedCheck ? ELOG_LVL_VERBOSE + 1 : ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "running");
        });
        QVERIFY(failedCheck ? WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGABRT : run.succeeded());
        const QString logs = appDir + QStringLiteral("/logs");
        const QString path = logs + "/tavox_T.log";
        const QString fileLine = openError.isEmpty() ? "Log file: " + path
                                                     : "Log file could not be opened: " + path + " (" + openError + ")";
        const QString header = starts ? Header.arg(path, "off").replace("Log file: " + path, fileLine) : QString();
        // The check names its own source line, whichever that is.
        QCOMPARE(withoutTimes(run.output).replace(QRegularExpression(":\\d+\\.\n$"), ":N.\n"), header + last);
        const QString warning = !starts ? "[AppLog] Log path too long: \"" + path + "\"\n"
            : openError.isEmpty()       ? QString()
                                        : "[AppLog] Cannot open log file: " + path + " (" + openError + ")\n";
        QCOMPARE(withoutTimes(run.errors), warning);
        const QStringList files = QDir(logs).entryList({QStringLiteral("*.log")}, QDir::Files);
        QCOMPARE(files.size(), starts && openError.isEmpty() ? 1 : 0);
        QVERIFY(files.isEmpty() || readFile(logs + '/' + files.first()) == Bom + run.output);
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
        QTest::newRow("empty file found") << qint64(0) << QList<int>();
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
        // A file found empty was made by someone else: only the process that creates a file marks it.
        QVector<QByteArray> expected {(rotates ? Bom : current) + "record\n", rotates ? current : "",
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

    // A directory that is not empty can be neither removed nor replaced.
    void blockedRotation()
    {
        const QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tavox.log"));
        const QByteArray current(int(MaxSize + 1), 'c');
        QVERIFY(writeFile(name, current) && writeFile(name + ".3", "3") && QDir().mkpath(name + ".4/not-empty"));
        MessageCapture messages;
        configureFile(name);
        const int fitting = int((2 * MaxSize - current.size()) / numbered(0).size());
        for (int n = 0; n < fitting; ++n)
            writeRecord(numbered(n));
        QCOMPARE(contents(name), (QVector<QByteArray> {current + numberedRange(0, fitting), "", "", "", "3", "", ""}));
        const QString rotationFailed = "[elog] rotation failed: cannot rename " + name + ".3: ";
        QCOMPARE(messages.lines().size(), 1);
        QVERIFY2(messages.lines().first().startsWith(rotationFailed), qPrintable(messages.lines().first()));

        const int dropped = 300;
        for (int n = fitting; n < fitting + dropped; ++n)
            writeRecord(numbered(n));
        QCOMPARE(messages.lines().size(), 1);

        QVERIFY(QDir(name + ".4").removeRecursively());
        int next = fitting + dropped;
        while (messages.lines().size() == 1 && next < fitting + dropped + 200)
            writeRecord(numbered(next++));
        const QStringList warnings = messages.lines();
        const QRegularExpressionMatch count =
            QRegularExpression("^\\[elog\\] (\\d+) records dropped: ").match(warnings.value(1));
        QVERIFY2(count.hasMatch(), qPrintable(warnings.join('\n')));
        const int resumed = fitting + count.captured(1).toInt();
        QCOMPARE(contents(name), (QVector<QByteArray> {Bom + numberedRange(resumed, next),
                                                       current + numberedRange(0, fitting), "", "", "", "3", ""}));
    }

    // Two processes start writing one file in the same instant. Races are a matter of luck, so the run is repeated.
    void twoProcessesShareOneFile()
    {
        const int recordsPerProcess = 2000;
        const qint64 rotationSize = 64 * 1024;   // the records fill about four files of the six kept
        const QRegularExpression wholeRecord("^([ab]) (\\d+) (x*)$");
        for (int round = 0; round < 5; ++round) {
            const QTemporaryDir dir;
            const QString name = dir.filePath(QStringLiteral("tavox.log"));
            int gate[2];
            QVERIFY(pipe(gate) == 0);
            QVector<pid_t> writers;
            for (const char process : {'a', 'b'}) {
                const pid_t pid = fork();
                if (pid == 0) {
                    ::close(gate[1]);
                    char go;
                    if (::read(gate[0], &go, 1) != 0)
                        _exit(2);
                    configureFile(name, rotationSize);
                    for (int n = 0; n < recordsPerProcess; ++n)
                        writeRecord(QByteArray(1, process) + ' ' + QByteArray::number(n) + ' '
                                    + QByteArray(n % 97, 'x') + '\n');
                    _exit(0);
                }
                writers << pid;
            }
            ::close(gate[0]);
            ::close(gate[1]);   // both writers start now
            for (const pid_t pid : writers) {
                int status = -1;
                waitpid(pid, &status, 0);
                QCOMPARE(status, 0);
            }

            std::set<QString> seen;
            const QVector<QByteArray> files = contents(name);
            for (const QByteArray &file : files) {
                if (file.isEmpty())
                    continue;
                QVERIFY(file.startsWith(Bom) && file.lastIndexOf(Bom) == 0);
                for (const QByteArray &line : file.mid(Bom.size()).split('\n')) {
                    if (line.isEmpty())
                        continue;
                    const QRegularExpressionMatch match = wholeRecord.match(QString::fromLatin1(line));
                    QVERIFY2(match.hasMatch() && match.capturedLength(3) == match.captured(2).toInt() % 97,
                             line.left(120).constData());
                    QVERIFY(seen.insert(match.captured(1) + match.captured(2)).second);
                }
            }
            QCOMPARE(int(seen.size()), 2 * recordsPerProcess);
            QVERIFY(!files.at(2).isEmpty());   // it did rotate more than once
        }
    }

    // The last writer of a log takes its lock file away; until then every writer, one that comes back
    // included, locks the same file. A second descriptor stands for another process started in the same second.
    void lockFileGoesWithItsLastWriter()
    {
        const QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tavox.log"));
        configureFile(name);
        const ino_t lock = inodeOf(name + ".lock");
        const int other = openLogLock(QFile::encodeName(name).toStdString());
        elog_file_close();
        configureFile(name);
        closeLogLock(other, QFile::encodeName(name).toStdString());
        QVERIFY(lock != 0 && inodeOf(name + ".lock") == lock);
        elog_file_close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {"tavox.log"});
    }

    void pruning_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");   // of each run's log, oldest first
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("written");           // by another process; -1: none
        QTest::addColumn<QList<int>>("deleted");
        const QList<qint64> many = QVector<qint64>(LogPruning::MaxRuns + 2, 100).toList();
        const qint64 MiB = 1 << 20;
        QTest::newRow("newest 30 runs") << many << many.size() - 1 << -1 << QList<int> {0, 1};
        QTest::newRow("newest 100 MiB") << QList<qint64> {10 * MiB, 50 * MiB, 40 * MiB, 20 * MiB} << 3 << -1
                                        << QList<int> {0, 1};
        QTest::newRow("run another process writes") << many << many.size() - 1 << 0 << QList<int> {1};
        QTest::newRow("current run oldest") << many << 0 << -1 << QList<int> {1};
    }

    // A run is its log, a rotated piece and its lock file; a file of another name stays.
    void pruning()
    {
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, current);
        QFETCH(int, written);
        QFETCH(QList<int>, deleted);
        const QTemporaryDir dir;
        const auto logOf = [&](int n) { return QString::asprintf("tavox_20261201_0000%02d.log", n); };
        QStringList kept {"tavox.txt"};
        QVERIFY(writeFile(dir.filePath(kept.first()), "other"));
        for (int n = 0; n < sizes.size(); ++n) {
            const QStringList run {logOf(n), logOf(n) + ".0", logOf(n) + ".lock"};
            QFile log(dir.filePath(run.first()));
            QVERIFY(log.open(QIODevice::WriteOnly) && log.resize(sizes.at(n)) && writeFile(dir.filePath(run.at(1)), "0")
                    && writeFile(dir.filePath(run.at(2)), ""));
            if (!deleted.contains(n))
                kept << run;
        }
        const std::string writtenLog = QFile::encodeName(dir.filePath(logOf(written))).toStdString();
        const int writer = written >= 0 ? openLogLock(writtenLog) : -1;
        LogPruning::prune(dir.path(), dir.filePath(logOf(current)));
        const QStringList left = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        closeLogLock(writer, writtenLog);
        kept.sort();
        QCOMPARE(left, kept);
    }

    // The file system cuts a write short: here the child's file size limit.
    void shortWriteLeavesNoTornRecord()
    {
        const QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tavox.log"));
        const ChildRun run = runInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            const rlim_t unlimited = limit.rlim_cur;
            limit.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            configureFile(name);
            for (int n = 0; n < 6; ++n)
                writeRecord(numbered(n));
            limit.rlim_cur = unlimited;
            setrlimit(RLIMIT_FSIZE, &limit);
            writeRecord(numbered(6));
        });
        QVERIFY(run.succeeded());
        QCOMPARE(readFile(name), Bom + numberedRange(0, 4) + numbered(6));
        QCOMPARE(run.errors, "[elog] 2 records dropped: the log file " + name.toUtf8() + " could not take them\n");
    }

    void cleanupTestCase() { QFile::remove(m_sessionFile); }   // else one more file beside the executable per run

private:
    const QTemporaryDir m_dir;
    QString m_sessionFile;
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
