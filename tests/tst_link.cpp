// The serial link under faults: a port that hangs up or dies, quick reopens,
// false frame starts on a quiet line and floods of unknown replies.
#include "bridge/AppBridge.h"
#include "bridge/LinkSession.h"
#include "bridge/MessageThrottle.h"
#include "bridge/Uartcore.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"

#include <QtTest>

#include <sys/resource.h>

namespace {
qint64 cpuTimeMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// Frames the tool wrote to a simulator, from its --verbose log.
int requestsSeen(const SimProcess &sim, const QString &description)
{
    return sim.errorOutput().count(QStringLiteral(" RX ") + description);
}

QByteArray falseFrameStart()
{
    // A version-1 header announcing 400 bytes, with a correct header sum.
    return QByteArray::fromHex("AA9005") + char(0xAA + 0x90 + 0x05);
}
}

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void scheduledRequestsDieWithTheirOpen();
    void hangUpIsNoticedWithNothingElseRunning();
    void lostPortEndsTheLinkAndTheUpgrade_data();
    void lostPortEndsTheLinkAndTheUpgrade();
    void quickReopenSendsOneReadAndOneQuery();
    void replyBehindFalseSyncIsHandledAtOnce();
    void throttleCountsAFloodAndReportsItsEnd();
    void floodOfUnknownRepliesLeavesTheLogReadable();
};

void TestLink::scheduledRequestsDieWithTheirOpen()
{
    LinkSession link;
    int fired = 0;
    link.runWhileOpen(10, [&] { ++fired; });   // closed: never scheduled
    link.begin();
    link.runWhileOpen(30, [&] { ++fired; });
    link.begin();   // reopened before it fired
    link.runWhileOpen(30, [&] { fired += 10; });
    link.runWhileOpen(40, [&] { link.end(); });
    link.runWhileOpen(60, [&] { fired += 100; });   // after the close inside the previous one
    QTRY_COMPARE(link.scheduledCount(), 0);
    QTest::qWait(60);
    QCOMPARE(fired, 10);
}

// A hung-up line must be seen by itself: no write, timer or other port call
// is there to stumble over it, and the process must not spin afterwards.
void TestLink::hangUpIsNoticedWithNothingElseRunning()
{
    PseudoTerminal pty;
    Uartcore port;
    bool lost = false;
    port.setPortLostHandler([&] { lost = true; });
    QVERIFY(port.open(pty.slaveName(), 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                      QSerialPort::NoFlowControl));
    pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(lost, 2000);
    port.close();
    const qint64 cpuBefore = cpuTimeMs();
    QTest::qWait(500);
    QVERIFY2(cpuTimeMs() - cpuBefore < 250, "the event loop spins on a dead port");
}

void TestLink::lostPortEndsTheLinkAndTheUpgrade_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("simulator hangs up") << "hang-up";
    QTest::newRow("simulator killed") << "kill";
    QTest::newRow("operator closes") << "close";
}

void TestLink::lostPortEndsTheLinkAndTheUpgrade()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QFile image(dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(QByteArray(4096, 'x')) == 4096);
    image.close();
    // A long erase keeps the upgrade under way until the line goes.
    QStringList arguments{"--erase-ms", "60000", "--hb-rate", "0"};
    if (how == "hang-up")
        arguments << "--fault-hangup-after" << "700";
    SimProcess sim(arguments);
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    bridge.setUpgradeReplyTimeouts({200, 200, 200});
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_VERIFY(messageTexts(bridge).contains(QStringLiteral("Querying version...")));
    bridge.tavoxStartUpgrade(image.fileName());
    QVERIFY(bridge.tavoxUpgrading());
    bridge.clearMessages();

    QElapsedTimer clock;
    clock.start();
    if (how == "kill")
        sim.process().kill();
    else if (how == "close")
        bridge.closeSerial();
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.serialOpened(), 3000);
    if (how != "close")
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!bridge.tavoxUpgrading());
    QCOMPARE(bridge.tavoxUpgradeProgress(), 0);
    QStringList expected{"Link status: Connected: None", "Serial port closed", "Upgrade aborted: serial port closed"};
    if (how != "close")
        expected.prepend(QStringLiteral("Serial port disconnected: ") + sim.portName());
    QCOMPARE(messageTexts(bridge).mid(messageTexts(bridge).indexOf(expected.first())), expected);

    // Nothing of the old upgrade reaches the next port, and a new one starts at once.
    PseudoTerminal next;
    QVERIFY(bridge.openSerial(next.slaveName(), 921600));
    QTest::qWait(1000);   // five watchdog periods of the old upgrade
    QByteArray wire = next.received();
    int frames = 0;
    for (ParsedFrame frame; extractFrame(wire, frame); ++frames)
        QVERIFY2(frame.version == 0 || frame.v1CommandId == 0x01, "an upgrade frame reached the next port");
    QCOMPARE(frames, 2);   // the parameter read and the version query
    bridge.tavoxStartUpgrade(image.fileName());
    QVERIFY(messageTexts(bridge).contains(QStringLiteral("Erasing firmware...")));
}

void TestLink::quickReopenSendsOneReadAndOneQuery()
{
    SimProcess sim({"--hb-rate", "0", "--verbose"});
    QVERIFY(sim.start());
    AppBridge bridge;
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTest::qWait(100);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_COMPARE(requestsSeen(sim, QStringLiteral("version query")), 1);
    QTest::qWait(700);   // the first open's requests would have come by now
    QCOMPARE(requestsSeen(sim, QStringLiteral("parameter read")), 1);
    QCOMPARE(requestsSeen(sim, QStringLiteral("version query")), 1);
}

// On a quiet line the bytes a false frame start announces never come.
void TestLink::replyBehindFalseSyncIsHandledAtOnce()
{
    SimProcess sim({"--fault-false-sync", "--hb-rate", "0", "--firmware", "3.1.4.1"});
    QVERIFY(sim.start());
    AppBridge bridge;
    QSignalSpy params(&bridge, &AppBridge::tavoxParamsChanged);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_COMPARE_WITH_TIMEOUT(params.count(), 1, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("3.1.4.1"), 1000);

    // The same through the bridge alone, piece by piece: the reply counts the moment it is complete.
    PseudoTerminal pty;
    AppBridge direct;
    QVERIFY(direct.openSerial(pty.slaveName(), 921600));
    QByteArray versions(8, '\0');
    versions[3] = 1;
    versions[7] = 2;
    const QByteArray reply = buildFrameV1(0x00, 0x02, versions);
    direct.onRawBytes(falseFrameStart() + reply.chopped(1));
    QCOMPARE(direct.tavoxFirmwareVersion(), QStringLiteral("-"));
    direct.onRawBytes(reply.right(1));
    QCOMPARE(direct.tavoxFirmwareVersion(), QStringLiteral("2.0.0.0"));
}

void TestLink::throttleCountsAFloodAndReportsItsEnd()
{
    MessageThrottle throttle;
    int shown = 0;
    for (int ms = 0; ms < 3000; ms += 2)
        shown += throttle.admit(QStringLiteral("a"), ms);
    QVERIFY(throttle.admit(QStringLiteral("b"), 2998));   // each kind counts on its own
    QCOMPARE(shown, MessageThrottle::MessagesPerSecond);
    QCOMPARE(throttle.nextEndMs(), 2998 + MessageThrottle::QuietMs);
    QVERIFY(throttle.takeEnded(3500).isEmpty());
    const QVector<MessageThrottle::Suppressed> ended = throttle.takeEnded(4000);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().kind, QStringLiteral("a"));
    QCOMPARE(ended.first().count, 1500 - MessageThrottle::MessagesPerSecond);
    QCOMPARE(throttle.nextEndMs(), -1);
    QVERIFY(throttle.admit(QStringLiteral("a"), 4000));   // a new flood starts afresh
}

void TestLink::floodOfUnknownRepliesLeavesTheLogReadable()
{
    SimProcess sim({"--fault-unknown-flood", "--hb-rate", "0", "--firmware", "9.8.7.6"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    const qint64 cpuBefore = cpuTimeMs();
    QTest::qWait(3000);
    const qint64 cpuUsed = cpuTimeMs() - cpuBefore;
    QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("9.8.7.6"));   // the link still answers
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("Unknown v1 general reply: CMD_ID=0x7e")).size(), 5);
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("Unknown v1 gimbal reply: CMD_ID=0x55")).size(), 5);
    QVERIFY2(cpuUsed < 900, qPrintable(QString::number(cpuUsed)));   // a flood once cost a whole core

    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!messageTexts(bridge).filter(QStringLiteral("similar messages suppressed")).isEmpty(), 5000);
    const QStringList summaries = messageTexts(bridge).filter(QStringLiteral("similar messages suppressed"));
    QCOMPARE(summaries.size(), 2);
    QVERIFY(summaries.first().startsWith(QStringLiteral("Unknown v1 general reply: ")));
    QVERIFY(summaries.first().section(QLatin1Char(' '), 4, 4).toInt() > 100);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
