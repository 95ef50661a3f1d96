#include "app/Config.h"
#include "app/DebugConsole.h"
#include "app/Startup.h"
#include "log/AppLog.h"
#include "log/elog.h"
#include "support/BridgeTestUtils.h"
#include "support/ChildProcess.h"
#include "support/MessageCapture.h"
#include "support/PseudoTerminal.h"

#include <QDebug>
#include <QSettings>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
class StdoutOnTerminal
{
public:
    explicit StdoutOnTerminal(const QString &terminal)
    {
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        m_terminal = ::open(terminal.toLocal8Bit().constData(), O_WRONLY | O_NOCTTY);
        dup2(m_terminal, STDOUT_FILENO);
    }
    ~StdoutOnTerminal()
    {
        fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        ::close(m_terminal);
    }

private:
    int m_saved = -1;
    int m_terminal = -1;
};

void setConsoleEnabled(bool enabled)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Console/Enabled"), enabled);
}
}

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { removeConfigFile(); }

    void failedSetUpLeavesLogOutputAlone();
    void failedLogSessionLeavesConsoleAlone();
    void terminalIsAConsoleInUse_data();
    void terminalIsAConsoleInUse();

private:
    QTemporaryDir m_dir;
};

// Without a controlling terminal there is no console while the key is off, and none can be had when it is on;
// the log records still reach standard output.
void TestConsole::failedSetUpLeavesLogOutputAlone()
{
    setConsoleEnabled(false);
    const QString appDir = m_dir.filePath(QStringLiteral("no-terminal"));
    const ChildRun run = runInChild([&] {
        if (setsid() < 0 || setupDebugConsole() || isConsoleActive())
            _exit(2);
        setConsoleEnabled(true);
        if (setupDebugConsole() || !appLogInitIn(appDir))
            _exit(1);
        elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "after the console failed");
    });
    QVERIFY(run.succeeded());
    QCOMPARE(QString::fromUtf8(run.errors), QStringLiteral("[AppConsole] AllocConsole failed, error= %1\n").arg(ENXIO));
    QVERIFY2(run.output.contains("] Log file: " + QFile::encodeName(appDir) + "/logs/tavox_")
                 && run.output.endsWith("] after the console failed\n"),
             run.output.constData());
}

void TestConsole::failedLogSessionLeavesConsoleAlone()
{
    PseudoTerminal pty;
    setConsoleEnabled(true);
    const QString aFile = m_dir.filePath(QStringLiteral("a-file"));
    QVERIFY(QFile(aFile).open(QIODevice::WriteOnly));
    const ChildRun run = runInChild([&] {
        StdoutOnTerminal redirect(pty.slaveName());
        if (!setupDebugConsole() || appLogInitIn(aFile + QStringLiteral("/app")))
            _exit(1);
        writeConsoleLine(QStringLiteral("console still here"));
    });
    QVERIFY(run.succeeded());
    QTRY_VERIFY(pty.received().contains("console still here"));
    QVERIFY(pty.received().contains("[AppLog] Failed to create log directory:"));
}

void TestConsole::terminalIsAConsoleInUse_data()
{
    QTest::addColumn<bool>("keyOn");
    QTest::addColumn<QByteArray>("shown");           // on the terminal
    QTest::addColumn<QStringList>("messages");       // through Qt's message handling elsewhere
    const QByteArray lines = "already ends\n" + QStringLiteral("[2026-12-05 10:33:00] 参数读取成功\n").toUtf8();
    // In this order: the console, once on, stays on for the process.
    QTest::newRow("key off: not announced") << false << lines << QStringList{"debug without line feed"};
    QTest::newRow("key on: banner, then one line a message")
        << true
        << "Zentaro debug console ready (UTF-8). qDebug / QML / elog output here.\n"
           "Debug console enabled (Console/Enabled in zentaro.cfg)\n"
           "debug without line feed\n" + lines
        << QStringList();
}

void TestConsole::terminalIsAConsoleInUse()
{
    QFETCH(bool, keyOn);
    QFETCH(QByteArray, shown);
    PseudoTerminal pty;
    setConsoleEnabled(keyOn);
    MessageCapture messages;
    {
        StdoutOnTerminal redirect(pty.slaveName());
        const bool inUse = setupDebugConsole();
        QVERIFY(inUse && isConsoleActive());
        QCOMPARE(isDebugConsoleSwitchedOn(), keyOn);
        announceDebugConsole(inUse);
        qDebug("debug without line feed");
        writeConsoleLine(QStringLiteral("already ends\n"));
        writeConsoleLine(QStringLiteral("[2026-12-05 10:33:00] 参数读取成功"));
    }
    QTEST(messages.lines(), "messages");
    // A terminal turns "\n" into "\r\n" on output.
    QTRY_COMPARE(QByteArray(pty.received()).replace("\r\n", "\n"), shown);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
