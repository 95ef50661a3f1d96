#include "app/Config.h"
#include "support/BridgeTestUtils.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QtTest>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void readersNeverCreateTheFile();
    void consoleSwitchFollowsQtBoolText_data();
    void consoleSwitchFollowsQtBoolText();
    void languageIsFoundInEverySpellingOfItsSection_data();
    void languageIsFoundInEverySpellingOfItsSection();
    void malformedFileGivesDefaults();
};

void TestConfig::readersNeverCreateTheFile()
{
    QCOMPARE(readConfiguredLanguage(QStringLiteral("zh")), QStringLiteral("zh"));
    QVERIFY(!readConsoleEnabled());
    QVERIFY(readUpgradeLastDir().isEmpty());
    QVERIFY(!QFile::exists(configFilePath()));

    writeUpgradeLastDir(QStringLiteral("D:/images"));
    QVERIFY(QFile::exists(configFilePath()));
    QCOMPARE(readUpgradeLastDir(), QStringLiteral("D:/images"));
}

void TestConfig::consoleSwitchFollowsQtBoolText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("true") << QStringLiteral("true") << true;
    QTest::newRow("yes") << QStringLiteral("yes") << true;
    QTest::newRow("0") << QStringLiteral("0") << false;
    QTest::newRow("false") << QStringLiteral("false") << false;
    QTest::newRow("FALSE") << QStringLiteral("FALSE") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestConfig::consoleSwitchFollowsQtBoolText()
{
    QFETCH(QString, stored);
    QFETCH(bool, enabled);
    QFile file(configFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Console]\nEnabled=" + stored.toUtf8() + "\n");
    file.close();
    QCOMPARE(readConsoleEnabled(), enabled);
}

void TestConfig::languageIsFoundInEverySpellingOfItsSection_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("language");
    QTest::newRow("as Qt writes it") << QByteArray("[%General]\nlanguage=en\n") << QStringLiteral("en");
    QTest::newRow("[general] by hand") << QByteArray("[general]\nlanguage=en\n") << QStringLiteral("en");
    QTest::newRow("[General], upper case value") << QByteArray("[General]\nlanguage= EN \n") << QStringLiteral("en");
    QTest::newRow("other section") << QByteArray("[tavox]\nlanguage=en\n") << QStringLiteral("zh");
}

// The file is written by one run and read by the next, so these are read from
// the bytes on disk, not from what this process wrote.
void TestConfig::languageIsFoundInEverySpellingOfItsSection()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, language);
    QFile file(configFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QCOMPARE(readConfiguredLanguage(QStringLiteral("zh")), language);
}

void TestConfig::malformedFileGivesDefaults()
{
    QFile file(configFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\xff\xfe garbage [[[ = = \n\0\0 language\n", 32);
    file.close();
    QCOMPARE(readConfiguredLanguage(QStringLiteral("zh")), QStringLiteral("zh"));
    QVERIFY(!readConsoleEnabled());
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
