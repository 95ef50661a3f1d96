#include "bridge/Language.h"
#include "bridge/MessageLog.h"
#include "support/BridgeTestUtils.h"
#include "support/MessageCapture.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QSignalSpy>
#include <QtTest>

class TestMessageLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useChineseLocale(); }
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void entriesComeInTheLanguageWithTheirMeaning();
    void entriesFollowTheTextsTrimming();
    void floodIsCountedAndSummedUpOnce();
};

void TestMessageLog::entriesComeInTheLanguageWithTheirMeaning()
{
    Language language;
    MessageLog log(language);
    QVector<MessageEntry> entries;
    connect(&log, &MessageLog::entryAdded, this, [&entries](const MessageEntry &entry) { entries << entry; });
    MessageCapture echoed;

    log.report(Message::error(QStringLiteral("错"), QStringLiteral("wrong"), MessageTopic::PortRequired,
                              OperatorAction::Read));
    QCOMPARE(language.set(QStringLiteral(" EN ")), Language::Change::Saved);
    QCOMPARE(language.set(QStringLiteral("en")), Language::Change::None);
    log.report(Message::success(QStringLiteral("好"), QStringLiteral("fine")));

    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).text, QStringLiteral("错"));
    QCOMPARE(entries.at(0).meaning.kind, MessageKind::Error);
    QCOMPARE(entries.at(0).meaning.topic, MessageTopic::PortRequired);
    QCOMPARE(entries.at(0).meaning.answers, OperatorAction::Read);
    QCOMPARE(entries.at(1).text, QStringLiteral("fine"));
    QCOMPARE(entries.at(1).meaning.kind, MessageKind::Success);
    const QRegularExpression stamped(QStringLiteral("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] fine$"));
    QVERIFY(stamped.match(entries.at(1).line).hasMatch());
    QCOMPARE(log.text(), entries.at(0).line + QLatin1Char('\n') + entries.at(1).line);
    QCOMPARE(echoed.linesContaining(QStringLiteral("] fine")), QStringList { entries.at(1).line });
    QCOMPARE(Language().code(), QStringLiteral("en"));   // saved for the next start
}

void TestMessageLog::entriesFollowTheTextsTrimming()
{
    Language language;
    MessageLog log(language);
    log.append(QStringLiteral("two\nlines"));
    for (int i = 1; i < MessageLog::SeparatorLimit - 1; ++i)
        log.append(QString::number(i));
    QCOMPARE(log.entries().size(), MessageLog::SeparatorLimit - 1);
    QCOMPARE(log.entries().first().text, QStringLiteral("two\nlines"));

    log.append(QStringLiteral("last"));   // the two oldest lines go: the first entry with them
    QCOMPARE(log.text().count(QLatin1Char('\n')), MessageLog::SeparatorLimit - 2);
    QCOMPARE(log.entries().size(), MessageLog::SeparatorLimit - 1);
    QCOMPARE(log.entries().first().text, QStringLiteral("1"));
    QVERIFY(log.text().startsWith(log.entries().first().line));

    log.clear();
    QVERIFY(log.entries().isEmpty());
    QVERIFY(log.text().isEmpty());
}

void TestMessageLog::floodIsCountedAndSummedUpOnce()
{
    Language language;
    QCOMPARE(language.set(QStringLiteral("en")), Language::Change::Saved);
    MessageLog log(language);
    QVector<MessageEntry> entries;
    connect(&log, &MessageLog::entryAdded, this, [&entries](const MessageEntry &entry) { entries << entry; });
    const TextPair flood { QStringLiteral("洪水"), QStringLiteral("Flood") };
    const Message repeated = Message::error(QStringLiteral("洪水: 1"), QStringLiteral("Flood: 1"));

    for (int i = 0; i < 20; ++i)
        log.reportRepeatable(repeated, flood);
    QCOMPARE(entries.size(), MessageThrottle::MessagesPerSecond);
    QTRY_COMPARE_WITH_TIMEOUT(entries.size(), MessageThrottle::MessagesPerSecond + 1, ProcessWaitMs);
    const MessageEntry summary = entries.last();
    QCOMPARE(summary.text, QStringLiteral("Flood: 15 similar messages suppressed"));
    QCOMPARE(summary.meaning.kind, MessageKind::Error);
    QVERIFY(runTimersDueWithin(int(MessageThrottle::QuietMs) * 2));
    QCOMPARE(entries.size(), MessageThrottle::MessagesPerSecond + 1);   // summed up once
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"
