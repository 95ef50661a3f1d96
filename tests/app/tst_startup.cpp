#include "app/RendererChoice.h"
#include "app/Startup.h"
#include "app/StartupOptions.h"
#include "support/ProgramRun.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>


namespace {
// The tool copied into a folder of its own, so its zentaro.cfg and logs/ can be spoiled at will. The library
// it loads is still found through the build's run path.
bool copyToolInto(const QString &dir)
{
    return QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), dir + QStringLiteral("/tavox"));
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

// The message of each record, without level, tag and time.
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
}

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void rendererFollowsTheMachine_data();
    void rendererFollowsTheMachine();
    void realBinaryWritesItsStartupRecordsInOrder();
    void windowStartsWithoutItsLogFile();
    void commandLineOptions_data();
    void commandLineOptions();
};

void TestStartup::rendererFollowsTheMachine_data()
{
    QTest::addColumn<QByteArray>("userSetting");
    QTest::addColumn<bool>("renderNode");
    QTest::addColumn<QString>("glRenderer");
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("probed");

    QTest::newRow("user's backend wins") << QByteArray("QT_QUICK_BACKEND=d3d12") << false << "llvmpipe" << "" << false;
    QTest::newRow("user's RHI wins") << QByteArray("QSG_RHI=1") << true << "llvmpipe (LLVM 15.0.6, 256 bits)" << "" << false;
    QTest::newRow("no GPU: not even probed") << QByteArray() << false << "" << "software" << false;
    QTest::newRow("Mesa llvmpipe") << QByteArray() << true << "llvmpipe (LLVM 15.0.6, 256 bits)" << "software" << true;
    QTest::newRow("Mesa softpipe") << QByteArray() << true << "softpipe" << "software" << true;
    QTest::newRow("Windows-style software rasterizer") << QByteArray() << true << "GDI Generic Software Rasterizer"
                                                        << "software" << true;
    QTest::newRow("no OpenGL at all") << QByteArray() << true << "" << "software" << true;
    QTest::newRow("a real GPU") << QByteArray() << true << "Mesa Intel(R) UHD Graphics 620 (KBL GT2)" << "" << true;
}

void TestStartup::rendererFollowsTheMachine()
{
    QFETCH(QByteArray, userSetting);
    QFETCH(bool, renderNode);
    QFETCH(QString, glRenderer);
    QFETCH(QString, backend);
    QFETCH(bool, probed);
    bool asked = false;
    const RendererChoice choice = chooseRenderer(userSetting, renderNode, [&] {
        asked = true;
        return glRenderer;
    });
    QCOMPARE(choice.backend, backend);
    QCOMPARE(asked, probed);
    QVERIFY(!choice.reason.isEmpty());
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
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("zentaro.cfg"))));

    const QStringList created = QDir(dir.filePath(QStringLiteral("logs"))).entryList({QStringLiteral("tavox_*.log")});
    QCOMPARE(created.size(), 1);
    QFile log(dir.filePath(QStringLiteral("logs/")) + created.first());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    QVERIFY(content.startsWith("\xEF\xBB\xBF"));

    const QString logPath = QDir::toNativeSeparators(log.fileName());
    const QStringList expected {
        QStringLiteral("========== TAVOX log session start (UTF-8) =========="),
        QStringLiteral("Log file: ") + logPath,
        QStringLiteral("Debug console: off"),
        QStringLiteral("Console not attached, output goes to log file only"),
        QStringLiteral("Loading embedded font..."),
        QStringLiteral("Font loaded: ") + resolveAppFontFamily(),
        QStringLiteral("Scene graph backend: as set by QT_QUICK_BACKEND=software"),
        QStringLiteral("Creating AppBridge..."),
        QStringLiteral("Config file=%1, log file=%2").arg(dir.filePath(QStringLiteral("zentaro.cfg")), logPath),
        QStringLiteral("Creating QML engine..."),
        QStringLiteral("Loading Main.qml..."),
        QStringLiteral("QML loaded successfully, entering event loop..."),
        QStringLiteral("========== TAVOX log session end =========="),
    };
    QCOMPARE(recordTexts(content.mid(3)), expected);
}

// The window comes up and says it could not open its log file; no line names a log file that was not opened.
// A configuration it cannot read is the configuration's own test (tst_config).
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

    const QString &records = run.out;
    const QString &messages = run.err;
    QVERIFY2(records.contains("] QML loaded successfully, entering event loop...\n"), qPrintable(records));
    static const QRegularExpression warning("^\\[AppLog\\] Cannot open log file: .*/logs/tavox_\\d{8}_\\d{6}\\.log "
                                            "\\(Is a directory\\)$",
                                            QRegularExpression::MultilineOption);
    QVERIFY2(messages.contains(warning), qPrintable(messages));
    QVERIFY2(messages.contains("App log file could not be opened"), qPrintable(messages));
    QVERIFY2(records.contains("] Log file could not be opened: "), qPrintable(records));
    QVERIFY2(records.contains("] Config file=" + dir.filePath(QStringLiteral("zentaro.cfg")) + ", log file=\n"),
             qPrintable(records));
    QVERIFY(!records.contains("Log file: ") && !messages.contains("App log file:"));
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

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
