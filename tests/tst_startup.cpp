#include "app/RendererChoice.h"
#include "app/Startup.h"

#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QString LogDir = QStringLiteral(TAVOX_BINARY_DIR "/logs");

QStringList logFiles()
{
    return QDir(LogDir).entryList({ QStringLiteral("tavox_*.log") }, QDir::Files, QDir::Name);
}

// The message of each record, without level, tag and time.
// The tool copied into a folder of its own, so its zentaro.cfg and logs/ can be spoiled at will. The library
// it loads is still found through the build's run path.
bool copyToolInto(const QString &dir)
{
    return QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), dir + QStringLiteral("/tavox"));
}

QProcessEnvironment headlessWithScreenshot(const QString &screenshot)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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
}

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void fontFamilyPrefersInstalledCjkFamily();
    void rendererFollowsTheMachine_data();
    void rendererFollowsTheMachine();
    void realBinaryWritesItsStartupRecordsInOrder();
    void windowStartsDespiteUnusableFiles_data();
    void windowStartsDespiteUnusableFiles();
};

void TestStartup::fontFamilyPrefersInstalledCjkFamily()
{
    const QStringList installed = QFontDatabase().families();
    if (!installed.contains(QStringLiteral("Noto Sans CJK SC")))
        QSKIP("fonts-noto-cjk is not installed");
    const QString family = resolveAppFontFamily();
    QVERIFY2(QStringList({ "思源黑体", "思源黑体 SC", "Source Han Sans SC", "Source Han Sans CN", "Noto Sans CJK SC" })
                 .contains(family),
             qPrintable(family));
}

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

void TestStartup::realBinaryWritesItsStartupRecordsInOrder()
{
    QTemporaryDir scratch;
    const QString screenshot = scratch.filePath(QStringLiteral("window.png"));
    const QStringList before = logFiles();

    QProcess tavox;
    tavox.setProcessEnvironment(headlessWithScreenshot(screenshot));
    tavox.start(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), QStringList());
    QVERIFY(tavox.waitForStarted());
    QVERIFY2(tavox.waitForFinished(30000), "the window should close itself after its screenshot");
    QCOMPARE(tavox.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavox.exitCode(), 0);
    QVERIFY(QFile::exists(screenshot));

    QStringList created = logFiles();
    for (const QString &name : before)
        created.removeAll(name);
    QVERIFY2(!created.isEmpty(), "no new log file");
    QFile log(LogDir + QLatin1Char('/') + created.last());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    QVERIFY(content.startsWith("\xEF\xBB\xBF"));

    const QStringList texts = recordTexts(content.mid(3));
    const QString logPath = QDir::toNativeSeparators(log.fileName());
    const QStringList expected {
        QStringLiteral("========== TAVOX log session start (UTF-8) =========="),
        QStringLiteral("Log file: ") + logPath,
        QStringLiteral("Debug console: off"),
        QStringLiteral("Console not attached, output goes to log file only"),
        QStringLiteral("Loading embedded font..."),
        QStringLiteral("Font loaded: ") + resolveAppFontFamily(),
        QStringLiteral("Scene graph backend: default (OpenGL), as set by QT_QUICK_BACKEND=software"),
        QStringLiteral("Creating AppBridge..."),
        QStringLiteral("Config file=%1, log file=%2").arg(QStringLiteral(TAVOX_BINARY_DIR "/zentaro.cfg"), logPath),
        QStringLiteral("Creating QML engine..."),
        QStringLiteral("Loading Main.qml..."),
        QStringLiteral("QML loaded successfully, entering event loop..."),
    };
    QCOMPARE(texts, expected);
}

void TestStartup::windowStartsDespiteUnusableFiles_data()
{
    QTest::addColumn<bool>("logFileTaken");   // else the configuration is a FIFO nobody writes to
    QTest::newRow("log file name taken by a directory") << true;
    QTest::newRow("configuration is a FIFO") << false;
}

// The window comes up and says what it could not use; no line names a log file that was not opened.
void TestStartup::windowStartsDespiteUnusableFiles()
{
    QFETCH(bool, logFileTaken);
    QTemporaryDir dir;
    QVERIFY(copyToolInto(dir.path()));
    const QString config = dir.filePath(QStringLiteral("zentaro.cfg"));
    if (logFileTaken) {
        // Whichever second the tool starts in, its log file name is a directory already.
        for (int second = 0; second < 60; ++second) {
            const QString name = QDateTime::currentDateTime().addSecs(second).toString("yyyyMMdd_HHmmss");
            QVERIFY(QDir().mkpath(dir.filePath("logs/tavox_" + name + ".log")));
        }
    } else {
        QCOMPARE(mkfifo(QFile::encodeName(config).constData(), 0644), 0);
    }

    const QString screenshot = dir.filePath(QStringLiteral("window.png"));
    QProcess tavox;
    tavox.setProcessEnvironment(headlessWithScreenshot(screenshot));
    tavox.start(dir.filePath(QStringLiteral("tavox")), QStringList());
    QVERIFY(tavox.waitForStarted());
    QVERIFY2(tavox.waitForFinished(30000), "the window should close itself after its screenshot");
    QCOMPARE(tavox.exitCode(), 0);
    QVERIFY(QFile::exists(screenshot));

    const QString records = QString::fromUtf8(tavox.readAllStandardOutput());
    const QString messages = QString::fromUtf8(tavox.readAllStandardError());
    QVERIFY2(records.contains("] QML loaded successfully, entering event loop...\n"), qPrintable(records));
    if (logFileTaken) {
        static const QRegularExpression warning("^\\[AppLog\\] Cannot open log file: .*/logs/tavox_\\d{8}_\\d{6}\\.log "
                                                "\\(Is a directory\\)$",
                                                QRegularExpression::MultilineOption);
        QVERIFY2(messages.contains(warning), qPrintable(messages));
        QVERIFY2(messages.contains("App log file could not be opened"), qPrintable(messages));
        QVERIFY2(records.contains("] Log file could not be opened: "), qPrintable(records));
        QVERIFY2(records.contains("] Config file=" + config + ", log file=\n"), qPrintable(records));
        QVERIFY(!records.contains("Log file: ") && !messages.contains("App log file:"));
    } else {
        QVERIFY2(messages.contains("[Config] Ignoring " + config + ": it is not a regular file; defaults apply\n"),
                 qPrintable(messages));
        QVERIFY(QFileInfo(config).exists() && !QFileInfo(config).isFile());
    }
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
