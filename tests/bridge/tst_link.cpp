#include "bridge/AppBridge.h"
#include "bridge/LinkSession.h"
#include "bridge/Uartcore.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QAbstractEventDispatcher>
#include <QtTest>

#include <algorithm>
#include <sys/resource.h>

namespace {
qint64 cpuTimeMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// How often the event loop woke while it waited for a timer of `ms`: a handful of times when it is idle, over
// and over when something it watches stays ready, however much of the processor a busy machine leaves it.
int wakeUpsWhileWaiting(int ms)
{
    int wakeUps = 0;
    const QMetaObject::Connection counting = QObject::connect(QAbstractEventDispatcher::instance(),
                                                              &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
    runTimersDueWithin(ms);
    QObject::disconnect(counting);
    return wakeUps;
}

bool isVersionQuery(const ParsedFrame &frame)
{
    return frame.version == 1 && frame.v1CommandId == 0x01;
}

bool versionQueryOn(const PseudoTerminal &pty)
{
    const QVector<ParsedFrame> frames = pty.receivedFrames();
    return std::any_of(frames.cbegin(), frames.cend(), isVersionQuery);
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
    QVERIFY(runTimersDueWithin(60));
    QCOMPARE(link.scheduledCount(), 0);
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
    QTRY_VERIFY_WITH_TIMEOUT(lost, ProcessWaitMs);
    port.close();
    const int wakeUps = wakeUpsWhileWaiting(500);
    QVERIFY2(wakeUps < 50, qPrintable(QStringLiteral("the event loop woke %1 times on a dead port").arg(wakeUps)));
}

void TestLink::lostPortEndsTheLinkAndTheUpgrade_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("messages");   // from the end of the link on; %1: the simulator's port
    QTest::newRow("simulator hangs up")
        << "hang-up" << QStringList{"Serial port disconnected: %1", "Link status: Connected: None", "Serial port closed",
                                    "Upgrade aborted: serial port closed",
                                    "The controller may still be in its bootloader: start the upgrade again to finish it"};
    QTest::newRow("operator closes")
        << "close" << QStringList{"Link status: Connected: None", "Serial port closed", "Upgrade aborted: serial port closed"};
    QTest::newRow("operator opens another port")
        << "switch" << QStringList{"Link status: Connected: None", "Upgrade aborted: serial port closed"};
}

void TestLink::lostPortEndsTheLinkAndTheUpgrade()
{
    QFETCH(QString, how);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    QFile image(dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(QByteArray(4096, 'x')) == 4096);
    image.close();
    // A long erase keeps the upgrade under way until the line goes. The upgrade starts with the open, so its
    // erase request is the first the simulator hears: the hang-up comes with the upgrade under way.
    QStringList arguments{"--erase-ms", "60000", "--hb-rate", "0"};
    if (how == "hang-up")
        arguments << "--fault-hangup-after" << "700";
    SimProcess sim(arguments);
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    // The erase request goes again every 400 ms: the old upgrade would show on the next port. Six requests
    // outlast the hang-up.
    bridge.setUpgradeReplyTimeouts({400, 400, 400});
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    bridge.tavoxStartUpgrade(image.fileName());
    QVERIFY(bridge.tavoxUpgrading());
    bridge.clearMessages();
    QSignalSpy opened(&bridge, &AppBridge::serialOpenedChanged);

    PseudoTerminal next;
    QElapsedTimer clock;
    clock.start();
    if (how == "close")
        bridge.closeSerial();
    else if (how == "switch")
        QVERIFY(bridge.openSerial(next.slaveName(), 921600));
    QTRY_VERIFY_WITH_TIMEOUT(opened.count() > 0, ProcessWaitMs);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(opened.count(), how == "switch" ? 2 : 1);
    QCOMPARE(bridge.serialLink().portLost(), how == "hang-up");
    QVERIFY(!bridge.tavoxUpgrading());
    QCOMPARE(bridge.tavoxUpgradeProgress(), 0);
    messages.replaceInStrings(QStringLiteral("%1"), sim.portName());
    const QStringList texts = messageTexts(bridge);
    QCOMPARE(texts.mid(texts.indexOf(messages.first()), messages.size()), messages);
    for (const MessageEntry &entry : bridge.messages().entries()) {
        if (entry.text.startsWith(QLatin1String("Serial port disconnected")))
            QCOMPARE(entry.meaning.kind, MessageKind::Error);
    }

    // Nothing of the old upgrade reaches the next port, and a new one starts at once. The version query is
    // the open's last request: a request of the old upgrade, due within one reply timeout, would go before it.
    if (how != "switch")
        QVERIFY(bridge.openSerial(next.slaveName(), 921600));
    QTRY_VERIFY_WITH_TIMEOUT(versionQueryOn(next), ProcessWaitMs);
    const QVector<ParsedFrame> frames = next.receivedFrames();
    for (const ParsedFrame &frame : frames)
        QVERIFY2(frame.version == 0 || isVersionQuery(frame), "an upgrade frame reached the next port");
    QCOMPARE(frames.size(), 2);   // the parameter read and the version query
    bridge.tavoxStartUpgrade(image.fileName());
    QVERIFY(messageTexts(bridge).contains(QStringLiteral("Erasing firmware...")));
}

void TestLink::floodOfUnknownRepliesLeavesTheLogReadable()
{
    SimProcess sim({"--fault-unknown-flood", "--hb-rate", "0", "--firmware", "9.8.7.6"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    // Three seconds of the flood, counted in frames: a busy machine gives the tool less time, not less work
    // for each frame.
    const qint64 cpuBefore = cpuTimeMs();
    QTRY_VERIFY_WITH_TIMEOUT(bridge.serialLink().statistics().frames >= 3000, ProcessWaitMs);
    const qint64 cpuUsed = cpuTimeMs() - cpuBefore;
    const qint64 frames = qint64(bridge.serialLink().statistics().frames);
    // A flood once cost a whole core; at 1000 frames a second each may take 0.3 ms.
    QVERIFY2(cpuUsed * 1000 < frames * 300, qPrintable(QStringLiteral("%1 ms for %2 frames").arg(cpuUsed).arg(frames)));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("9.8.7.6"), ProcessWaitMs);   // still answers
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("Unknown v1 general reply: CMD_ID=0x7e")).size(), 5);
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("Unknown v1 gimbal reply: CMD_ID=0x55")).size(), 5);

    sim.stop();
    const auto summaries = [&bridge] { return messageTexts(bridge).filter(QStringLiteral("similar messages suppressed")); };
    // Each kind's flood ends on its own, either first.
    QTRY_COMPARE_WITH_TIMEOUT(summaries().size(), 2, ProcessWaitMs);
    const QStringList general = summaries().filter(QStringLiteral("Unknown v1 general reply: "));
    QCOMPARE(general.size(), 1);
    QVERIFY(general.first().section(QLatin1Char(' '), 4, 4).toInt() > 100);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
