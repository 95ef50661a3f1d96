#include "app/Config.h"
#include "app/DebugConsole.h"
#include "support/BridgeTestUtils.h"
#include "support/PseudoTerminal.h"

#include <QDebug>
#include <QSettings>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Points standard output at a terminal for as long as it exists.
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

    // Order matters: the console, once on, stays on for the process.
    void disabledWithoutTerminalIsSilent();
    void enabledOnTerminalShowsBannerAndOneLinePerMessage();
};

void TestConsole::disabledWithoutTerminalIsSilent()
{
    if (isatty(STDOUT_FILENO))
        QSKIP("needs standard output that is not a terminal, as under ctest");
    setConsoleEnabled(false);
    QVERIFY(!setupDebugConsole());
    QVERIFY(!isConsoleActive());
}

void TestConsole::enabledOnTerminalShowsBannerAndOneLinePerMessage()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    setConsoleEnabled(true);
    {
        StdoutOnTerminal redirect(pty.slaveName());
        QVERIFY(setupDebugConsole());
        QVERIFY(isConsoleActive());
        qDebug("debug without line feed");
        writeConsoleLine(QStringLiteral("already ends\n"));
        writeConsoleLine(QStringLiteral("[2026-12-05 10:33:00] 参数读取成功"));
    }
    qInstallMessageHandler(nullptr);

    const QByteArray expected = QByteArray("Zentaro debug console ready (UTF-8). qDebug / QML / elog output here.\n"
                                           "debug without line feed\n"
                                           "already ends\n")
        + QStringLiteral("[2026-12-05 10:33:00] 参数读取成功\n").toUtf8();
    // A terminal turns "\n" into "\r\n" on output.
    QTRY_COMPARE(QByteArray(pty.received()).replace("\r\n", "\n"), expected);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
