// The language a copy of the tool starts in: the stored one, else the locale's, for the window and tavoxctl
// alike, and starting stores nothing. Both programs are copied into a folder of their own, where they share
// their zentaro.cfg; their libraries are still found through the build's run path.
#include "support/CtlRun.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray Nothing;

// The environment of a user whose locale is `lang` alone (none when empty): no LC_ALL, LC_MESSAGES or LANGUAGE.
QProcessEnvironment withLang(const QString &lang)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "LANG"})
        environment.remove(QLatin1String(variable));
    if (!lang.isEmpty())
        environment.insert(QStringLiteral("LANG"), lang);
    return environment;
}

// "zh" or "en" by the words the output holds; empty when it holds neither.
QString languageOf(const QString &output, const QString &chinese, const QString &english)
{
    const bool inChinese = output.contains(chinese);
    if (inChinese == output.contains(english))
        return QString();
    return inChinese ? QStringLiteral("zh") : QStringLiteral("en");
}
}

class TestFirstLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void storedLanguageElseTheLocales_data();
    void storedLanguageElseTheLocales();

private:
    QString configPath() const { return m_dir.filePath(QStringLiteral("zentaro.cfg")); }
    QString windowLanguage(const QProcessEnvironment &environment);
    QString commandLineLanguage(const QProcessEnvironment &environment);

    QTemporaryDir m_dir;
};

void TestFirstLanguage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char *program : {"tavox", "tavoxctl"})
        QVERIFY(QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/") + program, m_dir.filePath(QLatin1String(program))));
}

void TestFirstLanguage::init()
{
    QFile::remove(configPath());
}

// The window, headless, closes itself after its first screenshot; its message log is echoed on standard error.
QString TestFirstLanguage::windowLanguage(const QProcessEnvironment &environment)
{
    QProcessEnvironment headless = environment;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    headless.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    headless.insert(QStringLiteral("TAVOX_SCREENSHOT"), m_dir.filePath(QStringLiteral("window.png")));
    const ProgramRun run = runProgram(m_dir.filePath(QStringLiteral("tavox")), {}, headless, 2 * ProcessWaitMs);
    if (run.exitCode != 0)
        return QStringLiteral("exit code %1: %2").arg(run.exitCode).arg(run.err);
    return languageOf(run.err, QStringLiteral("] 应用已启动\n"), QStringLiteral("] Application started\n"));
}

QString TestFirstLanguage::commandLineLanguage(const QProcessEnvironment &environment)
{
    const ProgramRun run = runCtl({"-p", "/dev/tavox-no-such-port", "info"}, environment,
                                  m_dir.filePath(QStringLiteral("tavoxctl")));
    if (run.exitCode != 3)
        return QStringLiteral("exit code %1: %2").arg(run.exitCode).arg(run.err);
    return languageOf(run.err, QStringLiteral("无法打开串口"), QStringLiteral("cannot open port"));
}

void TestFirstLanguage::storedLanguageElseTheLocales_data()
{
    QTest::addColumn<QByteArray>("stored");   // zentaro.cfg's content, none when empty
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("expected");
    // Each spelling of the stored value and each kind of locale is the configuration's to read (tst_config);
    // here that both programs start by that reading and store nothing.
    QTest::newRow("nothing stored, Chinese locale") << Nothing << "zh_CN.UTF-8" << "zh";
    QTest::newRow("nothing stored, C locale") << Nothing << "C" << "en";
    QTest::newRow("en stored, Chinese locale") << QByteArray("[General]\nlanguage=en\n") << "zh_CN.UTF-8" << "en";
}

void TestFirstLanguage::storedLanguageElseTheLocales()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, lang);
    QFETCH(QString, expected);
    if (!stored.isEmpty())
        QVERIFY(writeFile(configPath(), stored));
    const QProcessEnvironment environment = withLang(lang);

    QCOMPARE(windowLanguage(environment), expected);
    QCOMPARE(commandLineLanguage(environment), expected);
    if (stored.isEmpty())
        QVERIFY2(!QFile::exists(configPath()), "starting stored a language");
    else
        QCOMPARE(readFile(configPath()), stored);
}

QTEST_GUILESS_MAIN(TestFirstLanguage)
#include "tst_firstlanguage.moc"
