#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/PseudoTerminal.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {
const QString NoPort = QStringLiteral("/dev/tavox-no-such-port");
const int ReadDelayMs = 300;
const int QueryDelayMs = 600;
const QString Reading = QStringLiteral("正在读取参数...");
const QString Querying = QStringLiteral("正在查询版本号...");

// A precise single-shot timer that notes, when it fires, whether `happened` is true by then: seen() is
// "happened", "not yet", or "not fired" before the timer fired.
class Marker
{
public:
    Marker(int ms, std::function<bool()> happened)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this, happened] {
            m_seen = happened() ? QStringLiteral("happened") : QStringLiteral("not yet");
        });
        m_timer.start(ms);
    }

    QString seen() const { return m_seen; }

private:
    QTimer m_timer;
    QString m_seen = QStringLiteral("not fired");
};
}

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useChineseLocale(); }
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void lineSettingsAreApplied_data();
    void lineSettingsAreApplied();
    void changesOfAnOpenLinkReportEachStep_data();
    void changesOfAnOpenLinkReportEachStep();
    void firstExchangeFollowsTheOpen();
};

void TestSerial::lineSettingsAreApplied_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<uint>("speed");
    QTest::newRow("921600") << 921600 << uint(B921600);
    QTest::newRow("115200") << 115200 << uint(B115200);
}

void TestSerial::lineSettingsAreApplied()
{
    QFETCH(int, baud);
    QFETCH(uint, speed);
    PseudoTerminal pty;
    AppBridge bridge;
    QVERIFY(bridge.openSerial(pty.slaveName(), baud));
    const termios settings = pty.lineSettings();
    QCOMPARE(uint(cfgetospeed(&settings)), speed);
    QCOMPARE(uint(cfgetispeed(&settings)), speed);
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(!(settings.c_cflag & PARENB));
    QVERIFY(!(settings.c_cflag & CSTOPB));
    QVERIFY(!(settings.c_cflag & CRTSCTS));
}

// What an open port reports as it is reopened or closed: %1 stands for the port asked for.
void TestSerial::changesOfAnOpenLinkReportEachStep_data()
{
    QTest::addColumn<QString>("port");   // "second": another pseudo-terminal; empty: closed twice instead
    QTest::addColumn<int>("baud");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("signalOrder");
    QTest::addColumn<bool>("openAfter");
    const QStringList invalid {"Invalid serial params"};
    QTest::newRow("reopened on another port")
        << "second" << 115200
        << QStringList { "Link status: Connected: None", "Link status: Connected: UART", "Serial port opened: %1 @ 115200" }
        << "heartbeat opened link heartbeat opened link" << true;
    QTest::newRow("reopened on a missing port")
        << NoPort << 115200
        << QStringList { "Link status: Connected: None", "Failed to open serial port: %1 (no such device)", "Link status: Connected: None" }
        << "heartbeat opened link link" << false;
    QTest::newRow("closed twice") << QString() << 0 << QStringList { "Link status: Connected: None", "Serial port closed" }
                                  << "heartbeat opened link" << false;
    QTest::newRow("blank name") << "   " << 115200 << invalid << "" << true;
    QTest::newRow("baud 0") << "second" << 0 << invalid << "" << true;
    QTest::newRow("baud -9600") << "second" << -9600 << invalid << "" << true;
}

void TestSerial::changesOfAnOpenLinkReportEachStep()
{
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(QStringList, messages);
    QFETCH(QString, signalOrder);
    QFETCH(bool, openAfter);
    PseudoTerminal first;
    PseudoTerminal second;
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QVERIFY(bridge.openSerial(first.slaveName(), 115200));
    bridge.clearMessages();
    QStringList signalsSeen;
    connect(&bridge, &AppBridge::heartbeatChanged, this, [&] { signalsSeen << "heartbeat"; });
    connect(&bridge, &AppBridge::serialOpenedChanged, this, [&] { signalsSeen << "opened"; });
    connect(&bridge, &AppBridge::linkStatusChanged, this, [&] { signalsSeen << "link"; });

    if (port == QLatin1String("second"))
        port = second.slaveName();
    if (port.isEmpty()) {
        bridge.closeSerial();
        bridge.closeSerial();
    } else {
        QCOMPARE(bridge.openSerial(port, baud), messages.last().startsWith(QStringLiteral("Serial port opened")));
    }
    messages.replaceInStrings(QStringLiteral("%1"), port);
    QCOMPARE(messageTexts(bridge), messages);
    QCOMPARE(signalsSeen.join(' '), signalOrder);
    QCOMPARE(bridge.serialOpened(), openAfter);
    QVERIFY(!bridge.hbReceived());
}

// Each request goes at its own delay after the open: after a timer of 10 ms less started just before the
// open, before one of 10 ms more started just after it. Timers fire in the order they fall due, however late
// a busy machine runs them, so their order shows the delays where a clock could not.
void TestSerial::firstExchangeFollowsTheOpen()
{
    PseudoTerminal pty;
    AppBridge bridge;
    const auto sent = [&bridge](const QString &request) {
        return [&bridge, request] { return messageTexts(bridge).contains(request); };
    };
    const Marker beforeRead(ReadDelayMs - 10, sent(Reading));
    const Marker beforeQuery(QueryDelayMs - 10, sent(Querying));
    QVERIFY(bridge.openSerial(pty.slaveName(), 921600));
    const Marker afterRead(ReadDelayMs + 10, sent(Reading));
    const Marker afterQuery(QueryDelayMs + 10, sent(Querying));

    QTRY_COMPARE_WITH_TIMEOUT(afterQuery.seen(), QStringLiteral("happened"), ProcessWaitMs);
    QCOMPARE(beforeRead.seen(), QStringLiteral("not yet"));
    QCOMPARE(afterRead.seen(), QStringLiteral("happened"));
    QCOMPARE(beforeQuery.seen(), QStringLiteral("not yet"));

    QTRY_COMPARE_WITH_TIMEOUT(pty.receivedFrames().size(), 2, ProcessWaitMs);
    const ParsedFrame read = pty.receivedFrames().at(0);
    QCOMPARE(int(read.version), 0);
    QCOMPARE(int(read.commandId), 0xC0);
    const ParsedFrame query = pty.receivedFrames().at(1);
    QCOMPARE(int(query.version), 1);
    QCOMPARE(int(query.commandSet), 0);
    QCOMPARE(int(query.commandId), 0x01);
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
