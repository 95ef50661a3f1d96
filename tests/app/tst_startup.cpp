#include "app/ClosingSteps.h"
#include "app/QtTranslations.h"
#include "app/RendererChoice.h"
#include "app/Startup.h"
#include "app/StartupOptions.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "link/PortClaim.h"
#include "support/ProgramRun.h"
#include "support/SerialLock.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QLibraryInfo>
#include <QPushButton>
#include <QQmlApplicationEngine>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
// The tool copied into a folder of its own, so its zentaro.cfg and logs/ can be spoiled at will.
bool copyToolInto(const QString &dir)
{
    return !copyBuiltProgram(QStringLiteral("tavox"), dir).isEmpty();
}

// In a Chinese locale: a copy of the tool without a stored language speaks Chinese.
QProcessEnvironment headlessWithScreenshot(const QString &screenshot)
{
    QProcessEnvironment env = withLocale(QProcessEnvironment::systemEnvironment(), QStringLiteral("zh_CN.UTF-8"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("TAVOX_SCREENSHOT"), screenshot);
    return env;
}

QStringList recordTexts(const QByteArray &content)
{
    static const QRegularExpression record(
        QStringLiteral("^I/app      \\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] (.*)$"));
    QStringList texts;
    for (const QString &line : QString::fromUtf8(content).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = record.match(line);
        texts.append(match.hasMatch() ? match.captured(1) : QStringLiteral("<unparsed> ") + line);
    }
    return texts;
}

QProcessEnvironment environmentWithoutDisplay()
{
    QProcessEnvironment environment = englishEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

class WindowProcess : public RunningProgram
{
public:
    explicit WindowProcess(const QStringList &arguments)
        : m_arguments(QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} + arguments)
    {
    }
    ~WindowProcess() { end(); }   // before its folder goes

    bool start()
    {
        if (!copyToolInto(m_dir.path()))
            return false;
        QProcessEnvironment environment = environmentWithoutDisplay();
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        m_process.setProcessEnvironment(environment);
        // Files, not pipes: a window whose output nobody reads must never stall on a full pipe.
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("stdout.log")));
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.log")));
        m_process.start(m_dir.filePath(QStringLiteral("tavox")), m_arguments);
        return m_process.waitForStarted(ProcessWaitMs);
    }

    QStringList logRecords() const
    {
        const QDir logs(m_dir.filePath(QStringLiteral("logs")));
        const QStringList files = logs.entryList({QStringLiteral("tavox_*.log")}, QDir::Files, QDir::Name);
        return files.isEmpty() ? QStringList() : recordTexts(readFile(logs.filePath(files.last())).mid(3));
    }

private:
    QTemporaryDir m_dir;
    QStringList m_arguments;
};
}

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_sim.start()); }
    void rendererFollowsTheMachine_data();
    void rendererFollowsTheMachine();
    void realBinaryWritesItsStartupRecordsInOrder();
    void windowStartsWithoutItsLogFile();
    void commandLineOptions_data();
    void commandLineOptions();
    void windowAnswersWithoutADisplay_data();
    void windowAnswersWithoutADisplay();
    void signalClosesTheWindow_data();
    void signalClosesTheWindow();
    void closingFinishesTheWriteInFlight();
    void qtButtonsFollowTheLanguage();

private:
    // One controller for the windows the signals close in turn: each must leave its port free for the next.
    SimProcess m_sim {{"--verbose"}};
};

void TestStartup::rendererFollowsTheMachine_data()
{
    QTest::addColumn<QByteArray>("userSetting");
    QTest::addColumn<bool>("renderNode");
    QTest::addColumn<QString>("glRenderer");
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("probed");
    QTest::addColumn<bool>("usersGlIntegration");
    QTest::addColumn<bool>("openGlUnloaded");

    QTest::newRow("user's backend wins") << QByteArray("QT_QUICK_BACKEND=d3d12") << false << "llvmpipe" << "" << false
                                         << false << false;
    QTest::newRow("user's RHI wins") << QByteArray("QSG_RHI=1") << true << "llvmpipe (LLVM 15.0.6, 256 bits)" << ""
                                     << false << false << false;
    QTest::newRow("user's OpenGL without a GPU") << QByteArray("QSG_RHI=0") << false << "llvmpipe" << "" << false
                                                 << false << false;
    QTest::newRow("user's software backend") << QByteArray("QT_QUICK_BACKEND=software") << true << "" << "" << false
                                             << false << true;
    QTest::newRow("user's legacy software setting") << QByteArray("QMLSCENE_DEVICE=software") << true << "" << ""
                                                    << false << false << true;
    QTest::newRow("no GPU: not even probed") << QByteArray() << false << "" << "software" << false << false << true;
    QTest::newRow("no GPU, user's GL integration") << QByteArray() << false << "" << "software" << false << true
                                                   << false;
    QTest::newRow("Mesa llvmpipe") << QByteArray() << true << "llvmpipe (LLVM 15.0.6, 256 bits)" << "software" << true
                                   << false << false;
    QTest::newRow("Mesa softpipe") << QByteArray() << true << "softpipe" << "software" << true << false << false;
    QTest::newRow("Windows-style software rasterizer") << QByteArray() << true << "GDI Generic Software Rasterizer"
                                                        << "software" << true << false << false;
    QTest::newRow("no OpenGL at all") << QByteArray() << true << "" << "software" << true << false << false;
    QTest::newRow("a real GPU") << QByteArray() << true << "Mesa Intel(R) UHD Graphics 620 (KBL GT2)" << "" << true
                                << false << false;
}

// The scene graph's backend, and whether OpenGL may stay unloaded, decided before the application object exists.
void TestStartup::rendererFollowsTheMachine()
{
    QFETCH(QByteArray, userSetting);
    QFETCH(bool, renderNode);
    QFETCH(QString, glRenderer);
    QFETCH(QString, backend);
    QFETCH(bool, probed);
    QFETCH(bool, usersGlIntegration);
    QFETCH(bool, openGlUnloaded);
    bool asked = false;
    const RendererChoice choice = chooseRenderer(userSetting, renderNode, [&] {
        asked = true;
        return glRenderer;
    });
    QCOMPARE(choice.backend, backend);
    QCOMPARE(asked, probed);
    QVERIFY(!choice.reason.isEmpty());
    QCOMPARE(canLeaveOpenGlUnloaded(userSetting, usersGlIntegration, renderNode), openGlUnloaded);
}

// In a Chinese locale with nothing stored, the window speaks Chinese and stores nothing.
void TestStartup::realBinaryWritesItsStartupRecordsInOrder()
{
    QTemporaryDir dir;
    QVERIFY(copyToolInto(dir.path()));
    const QString screenshot = dir.filePath(QStringLiteral("window.png"));
    const ProgramRun run = runProgram(dir.filePath(QStringLiteral("tavox")), {}, headlessWithScreenshot(screenshot),
                                      2 * ProcessWaitMs);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(QFile::exists(screenshot));
    QVERIFY2(run.err.contains("] 应用已启动\n"), qPrintable(run.err));
    QCOMPARE(run.err.contains("QML debugging is enabled"), bool(TAVOX_QML_DEBUGGING));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("zentaro.cfg"))));

    const QStringList created = QDir(dir.filePath(QStringLiteral("logs"))).entryList({QStringLiteral("tavox_*.log")});
    QCOMPARE(created.size(), 1);
    const QString logPath = dir.filePath(QStringLiteral("logs/") + created.first());
    const QByteArray content = readFile(logPath);
    QVERIFY(content.startsWith("\xEF\xBB\xBF"));
    const QStringList expected {
        QStringLiteral("========== TAVOX log session start (UTF-8) =========="),
        QStringLiteral("Log file: ") + logPath,
        QStringLiteral("Debug console: off"),
        QStringLiteral("Console not attached, output goes to log file only"),
        QStringLiteral("Loading embedded font..."),
        QStringLiteral("Font loaded: ") + resolveAppFontFamily(),
        QStringLiteral("Scene graph backend: as set by QT_QUICK_BACKEND=software; QT_XCB_GL_INTEGRATION=none"),
        QStringLiteral("Creating AppBridge..."),
        QStringLiteral("Config file=%1, log file=%2").arg(dir.filePath(QStringLiteral("zentaro.cfg")), logPath),
        QStringLiteral("Creating QML engine..."),
        QStringLiteral("Loading Main.qml..."),
        QStringLiteral("QML loaded successfully, entering event loop..."),
        QStringLiteral("========== TAVOX log session end =========="),
    };
    QCOMPARE(recordTexts(content.mid(3)), expected);
}

void TestStartup::windowStartsWithoutItsLogFile()
{
    QTemporaryDir dir;
    QVERIFY(copyToolInto(dir.path()));
    // Whichever second the tool starts in while the test waits for it, its log file name is a directory already.
    for (int second = 0; second < 2 * ProcessWaitMs / 1000; ++second) {
        const QString name = QDateTime::currentDateTime().addSecs(second).toString("yyyyMMdd_HHmmss");
        QVERIFY(QDir().mkpath(dir.filePath("logs/tavox_" + name + ".log")));
    }

    const QString screenshot = dir.filePath(QStringLiteral("window.png"));
    const ProgramRun run = runProgram(dir.filePath(QStringLiteral("tavox")), {}, headlessWithScreenshot(screenshot),
                                      2 * ProcessWaitMs);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(QFile::exists(screenshot));

    QVERIFY2(run.out.contains("] QML loaded successfully, entering event loop...\n"), qPrintable(run.out));
    static const QRegularExpression warning("^\\[AppLog\\] Cannot open log file: .*/logs/tavox_\\d{8}_\\d{6}\\.log "
                                            "\\(Is a directory\\)$",
                                            QRegularExpression::MultilineOption);
    QVERIFY2(run.err.contains(warning), qPrintable(run.err));
    QVERIFY2(run.err.contains("App log file could not be opened"), qPrintable(run.err));
    QVERIFY2(run.out.contains("] Log file could not be opened: "), qPrintable(run.out));
    QVERIFY2(run.out.contains("] Config file=" + dir.filePath(QStringLiteral("zentaro.cfg")) + ", log file=\n"),
             qPrintable(run.out));
    QVERIFY(!run.out.contains("Log file: ") && !run.err.contains("App log file:"));
}

void TestStartup::commandLineOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("error");
    const QString none;
    QTest::newRow("nothing") << QStringList() << none << 921600 << none;
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB0"} << "/dev/ttyUSB0" << 921600 << none;
    QTest::newRow("port and baud") << QStringList{"--port=COM7", "--baud", "115200"} << "COM7" << 115200 << none;
    QTest::newRow("single dash") << QStringList{"-port", "/dev/ttyACM1"} << "/dev/ttyACM1" << 921600 << none;
    QTest::newRow("port without name") << QStringList{"--port"} << none << 921600
                                       << "Missing value after '--port'.";
    QTest::newRow("blank port") << QStringList{"--port", " "} << " " << 921600
                                << "--port needs the name of a serial port";
    QTest::newRow("baud not a number") << QStringList{"--port", "COM7", "--baud", "fast"} << "COM7" << 0
                                       << "--baud takes a positive whole number, not \"fast\"";
    QTest::newRow("negative baud") << QStringList{"--port", "COM7", "--baud", "-9600"} << "COM7" << -9600
                                   << "--baud takes a positive whole number, not \"-9600\"";
    QTest::newRow("baud alone") << QStringList{"--baud", "115200"} << none << 921600
                                << "--baud is only used with --port";
    QTest::newRow("unknown option") << QStringList{"--verbose"} << none << 921600 << "Unknown option 'verbose'.";
    QTest::newRow("stray word") << QStringList{"COM7"} << none << 921600 << "Unexpected argument: COM7";
}

void TestStartup::commandLineOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(QString, error);
    const StartupOptions options = parseStartupOptions(QStringList{"tavox"} + arguments);
    QCOMPARE(options.error, error);
    QCOMPARE(options.portName, port);
    QCOMPARE(options.baudRate, baud);
    QVERIFY(!options.helpRequested);
}

void TestStartup::windowAnswersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString version = QStringLiteral("tavox %1\n").arg(tavoxVersion());
    const QString usage = QStringLiteral("Usage: tavox [options]\n"
                                         "The TAVOX gimbal controller's configuration and service tool.\n\n"
                                         "Options:\n"
                                         "  --port <PORT>  Open serial port PORT as soon as the window is up.\n"
                                         "  --baud <N>     Baud rate for --port (default 921600).\n"
                                         "  -h, --help     Show these options and quit.\n"
                                         "  -v, --version  Show the version and quit.\n");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QString();
    QTest::newRow("-v after Qt's -platform") << QStringList{"-platform", "offscreen", "-v"} << 0 << version << QString();
    QTest::newRow("stray word after Qt's -reverse") << QStringList{"-reverse", "COM7"} << 2 << QString()
                                                    << QStringLiteral("Unexpected argument: COM7\n\n") + usage;
    QTest::newRow("no display") << QStringList{"-platform", "xcb"} << 1 << QString()
                                << "tavox: cannot open the window: no display could be reached (DISPLAY is not set; "
                                   "platform plugin xcb)\n";
}

// Answered on the console alone, before a file is written: the copy's folder
// holds the copy and its link to the libraries alone afterwards (no logs/, no
// zentaro.cfg).
void TestStartup::windowAnswersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QVERIFY(copyToolInto(dir.path()));
    const ProgramRun run = runProgram(dir.filePath(QStringLiteral("tavox")), arguments, environmentWithoutDisplay());
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), (QStringList{"lib", "tavox"}));
}

void TestStartup::signalClosesTheWindow_data()
{
    QTest::addColumn<QVector<int>>("sent");
    QTest::addColumn<QStringList>("causes");
    QTest::newRow("SIGTERM (a logout)") << QVector<int>{SIGTERM} << QStringList{"SIGTERM"};
    QTest::newRow("SIGHUP (its terminal closed)") << QVector<int>{SIGHUP} << QStringList{"SIGHUP"};
    QTest::newRow("SIGINT (Ctrl-C)") << QVector<int>{SIGINT} << QStringList{"SIGINT"};
    // However far the window has got with the first when the second comes.
    // Both may be pending before the window runs again, and the kernel then
    // delivers the lower-numbered SIGHUP first: either may be the cause.
    QTest::newRow("SIGTERM, then SIGHUP at once") << QVector<int>{SIGTERM, SIGHUP} << QStringList{"SIGTERM", "SIGHUP"};
}

void TestStartup::signalClosesTheWindow()
{
    QFETCH(QVector<int>, sent);
    QFETCH(QStringList, causes);
    const QString versionQuery = QStringLiteral("RX version query");
    const int queried = m_sim.errorOutput().count(versionQuery);
    WindowProcess window({"--port", m_sim.portName()});
    QVERIFY(window.start());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.errorOutput().count(versionQuery) > queried, ProcessWaitMs);
    const QString lock = serialLockFile(m_sim.portName());

    for (const int signal : sent)
        window.signal(signal);
    QCOMPARE(window.finish(), 0);

    if (!lock.isEmpty())
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    QSerialPort port;
    PortRefusal refusal;
    QVERIFY(claimPort(port, m_sim.portName(), QIODevice::ReadWrite, refusal));
    const QStringList records = window.logRecords();
    QVERIFY2(records.size() >= 2, qPrintable(records.join('\n')));
    const QRegularExpression endRecord(QStringLiteral("^========== TAVOX log session end \\(closed by (\\w+)\\) ==========$"));
    const QRegularExpressionMatch ended = endRecord.match(records.last());
    QVERIFY2(ended.hasMatch(), qPrintable(records.last()));
    const QString cause = ended.captured(1);
    QVERIFY2(causes.contains(cause), qPrintable(records.last()));
    QVERIFY2(records.contains(cause + QStringLiteral(": closing the window")), qPrintable(records.join('\n')));
}

// Closed a moment after a channel write was confirmed, the tool stays until the write's activation and restart
// have gone out: the controller never keeps values it did not apply.
void TestStartup::closingFinishesTheWriteInFlight()
{
    SimProcess sim({"--verbose", "--hb-rate", "0"});
    QVERIFY(sim.start());
    AppBridge bridge(nullptr, AppBridge::Initiative::LeftToCaller);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    bridge.tavoxWriteSbusChannels(2, 3, 4, 5, 6, 1);
    QCOMPARE(bridge.parameters().owedRestart(), OwedRestart::ActivateAndReboot);

    finishStepsInFlight(bridge);

    QCOMPARE(bridge.parameters().owedRestart(), OwedRestart::None);
    QTRY_COMPARE_WITH_TIMEOUT(requestSequence(simReceivedFrames(sim.errorOutput())), QStringLiteral("A0 90 91"),
                              ProcessWaitMs);
}

void TestStartup::qtButtonsFollowTheLanguage()
{
    if (!QFile::exists(QLibraryInfo::location(QLibraryInfo::TranslationsPath) + QStringLiteral("/qt_zh_CN.qm")))
        QSKIP("Qt's translations are not installed (Debian: qttranslations5-l10n)");
    const auto cancelText = [] { return QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(); };
    // The engine takes Qt's catalogue for the system's locale; the window's language overrides it.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QQmlApplicationEngine engine;
    QLocale::setDefault(QLocale::c());
    QtTranslations::dropLocaleCatalogues(engine);
    QCOMPARE(cancelText(), QStringLiteral("Cancel"));
    QtTranslations translations;
    translations.follow(QStringLiteral("zh"));
    QCOMPARE(cancelText(), QStringLiteral("取消"));
    translations.follow(QStringLiteral("en"));
    QCOMPARE(cancelText(), QStringLiteral("Cancel"));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
