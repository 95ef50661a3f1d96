#include "app/Startup.h"

#include <QDir>
#include <QFontDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString LogDir = QStringLiteral(TAVOX_BINARY_DIR "/logs");

QStringList logFiles()
{
    return QDir(LogDir).entryList({ QStringLiteral("tavox_*.log") }, QDir::Files, QDir::Name);
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
    void fontFamilyPrefersInstalledCjkFamily();
    void realBinaryWritesItsStartupRecordsInOrder();
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

void TestStartup::realBinaryWritesItsStartupRecordsInOrder()
{
    QTemporaryDir scratch;
    const QString screenshot = scratch.filePath(QStringLiteral("window.png"));
    const QStringList before = logFiles();

    QProcess tavox;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("TAVOX_SCREENSHOT"), screenshot);
    tavox.setProcessEnvironment(env);
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
        QStringLiteral("Creating AppBridge..."),
        QStringLiteral("Config file=%1, log file=%2").arg(QStringLiteral(TAVOX_BINARY_DIR "/zentaro.cfg"), logPath),
        QStringLiteral("Creating QML engine..."),
        QStringLiteral("Loading Main.qml..."),
        QStringLiteral("QML loaded successfully, entering event loop..."),
    };
    QCOMPARE(texts, expected);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
