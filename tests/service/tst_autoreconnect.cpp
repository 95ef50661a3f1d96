#include "bridge/AppBridge.h"
#include "link/PortScanner.h"
#include "service/AutoReconnect.h"
#include "service/ControllerWatch.h"
#include "service/LinkEvents.h"
#include "support/BridgeTestUtils.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;
// Long enough after the first bytes for the opening exchange on a busy machine.
const QString HangupMs = QStringLiteral("3000");
// How long a test lets the watch for a port run on to show that it does not reopen it: many checks.
const int ChecksMs = 2000;

const QString Waiting = QStringLiteral("Waiting for %1 to come back…");
const QString Reconnected = QStringLiteral("Reconnected: %1");

QStringList simArguments(const QString &link, const QString &returnMs, const QStringList &more = {})
{
    return QStringList {"--link", link, "--fault-hangup-after", HangupMs, "--fault-return-after", returnMs, "--verbose"}
        + more;
}

QStringList receivedNames(const SimProcess &sim, int from = 0)
{
    QStringList names;
    for (const SimReceivedFrame &frame : simReceivedFrames(sim.errorOutput()).mid(from))
        names << frame.name;
    return names;
}

struct ReconnectingBridge
{
    ReconnectingBridge()
    {
        bridge.setLanguage(QStringLiteral("en"));
        watch.followReconnection(reconnect);
        events.followReconnection(reconnect);
    }

    QStringList linkEvents() const
    {
        QStringList happened;
        for (const LinkEvents::Event &event : events.events()) {
            if (!event.name.contains(QLatin1String("heartbeat")))
                happened << event.name + QLatin1Char(' ') + event.detail;
        }
        return happened;
    }

    AppBridge bridge;
    AutoReconnect reconnect {bridge};
    ControllerWatch watch {bridge};
    LinkEvents events {bridge};
};
}

class TestAutoReconnect : public QObject
{
    Q_OBJECT

private slots:
    void writeCutByTheLoss_data();
    void writeCutByTheLoss();
    void noReopen_data();
    void noReopen();
    void returnedPortIsFoundByItsAdapter();
};

void TestAutoReconnect::writeCutByTheLoss_data()
{
    QTest::addColumn<QStringList>("returning");
    QTest::addColumn<bool>("sameController");
    QTest::newRow("the same controller comes back") << QStringList() << true;
    QTest::newRow("another controller comes back") << QStringList{"--fault-return-firmware", "9.9.9.9"} << false;
}

// The line drops the moment the controller has taken a channel write, before its activation and restart. The
// controller that wrote them gets the activation and restart once its port is back; another controller gets neither.
void TestAutoReconnect::writeCutByTheLoss()
{
    QFETCH(QStringList, returning);
    QFETCH(bool, sameController);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    SimProcess sim(QStringList{"--link", link, "--fault-hangup-on-command", "a0", "--fault-return-after", "300",
                               "--verbose", "--hb-rate", "0"}
                   + returning);
    QVERIFY(sim.start());
    ReconnectingBridge rig;
    AppBridge &bridge = rig.bridge;
    ControllerWatch &watch = rig.watch;

    QVERIFY(bridge.openSerial(link, Baud));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.tavoxFirmwareVersion() != QLatin1String("-") && bridge.parameters().blocksReceived() > 0,
                             ProcessWaitMs);
    bridge.tavoxWriteSbusChannels(2, 3, 4, 5, 6, 1);
    const int epoch = watch.epoch();
    QVERIFY(!sim.waitForReturn().isEmpty());
    const int framesAtReturn = simReceivedFrames(sim.errorOutput()).size();
    const QString another = QStringLiteral("Another controller answered on %1: firmware 9.9.9.9, was 1.0.0.60").arg(link);
    QTRY_VERIFY_WITH_TIMEOUT(messageTexts(bridge).contains(sameController ? Reconnected.arg(link) : another), ProcessWaitMs);
    QCOMPARE(messageTexts(bridge).count(Waiting.arg(link)), 1);
    QTRY_VERIFY_WITH_TIMEOUT(receivedNames(sim, framesAtReturn).contains(QStringLiteral("version query")), ProcessWaitMs);
    const QString opened = QStringLiteral("port-opened %1 at %2 baud").arg(link).arg(Baud);
    QCOMPARE(rig.linkEvents(), (QStringList {opened, "port-lost " + link, "waiting-for-port " + link, opened, "reconnected " + link}));

    const QString owedSent = QStringLiteral("Sending the activation and restart that did not go out before the link was lost");
    if (sameController) {
        QTRY_VERIFY_WITH_TIMEOUT(receivedNames(sim, framesAtReturn).contains(QStringLiteral("91")), ProcessWaitMs);
        const QStringList after = receivedNames(sim, framesAtReturn);
        QVERIFY2(after.indexOf(QStringLiteral("90")) >= 0 && after.indexOf(QStringLiteral("90")) < after.indexOf(QStringLiteral("91")),
                 qPrintable(after.join(' ')));
        QVERIFY(messageTexts(bridge).contains(owedSent));
        QCOMPARE(messageTexts(bridge).count(Reconnected.arg(link)), 1);
        QTRY_VERIFY_WITH_TIMEOUT(receivedNames(sim, framesAtReturn).indexOf(QStringLiteral("C0"), after.indexOf(QStringLiteral("91"))) > 0,
                                 ProcessWaitMs);
    } else {
        // Long enough for the activation, had it been sent on the reconnection.
        QVERIFY(runTimersDueWithin(ChecksMs));
        QVERIFY(!receivedNames(sim, framesAtReturn).contains(QStringLiteral("90")));
        QVERIFY(!receivedNames(sim, framesAtReturn).contains(QStringLiteral("91")));
        QVERIFY(messageTexts(bridge).filter(QStringLiteral("Reconnected")).isEmpty());
        QVERIFY(!messageTexts(bridge).contains(owedSent));
        QCOMPARE(watch.owedRestart(), OwedRestart::ActivateAndReboot);
    }
    QCOMPARE(watch.otherController(), !sameController);
    QCOMPARE(watch.epoch() != epoch, !sameController);
}

void TestAutoReconnect::noReopen_data()
{
    QTest::addColumn<QString>("operatorAction");
    QTest::newRow("closed by the operator") << QStringLiteral("close");
    QTest::newRow("stopped while waiting") << QStringLiteral("stop");
    QTest::newRow("switched off while waiting") << QStringLiteral("switch off");
    QTest::newRow("switched off before the loss") << QStringLiteral("off");
    QTest::newRow("another port opened while waiting") << QStringLiteral("open another");
}

// The link must have returned by the time the watch has had many chances to reopen it.
void TestAutoReconnect::noReopen()
{
    QFETCH(QString, operatorAction);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    SimProcess sim(simArguments(link, QStringLiteral("300"), {"--hb-rate", "0"}));
    SimProcess other({"--hb-rate", "0"});
    QVERIFY(sim.start() && (operatorAction != QLatin1String("open another") || other.start()));
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    AutoReconnect reconnect(bridge);
    QSignalSpy reopened(&reconnect, &AutoReconnect::reopened);
    reconnect.setEnabled(operatorAction != QLatin1String("off"));
    // The operator acts as the wait begins, long before the port is back.
    connect(&reconnect, &AutoReconnect::waitingChanged, this, [&] {
        if (!reconnect.waiting())
            return;
        if (operatorAction == QLatin1String("stop"))
            reconnect.stop();
        else if (operatorAction == QLatin1String("switch off"))
            reconnect.setEnabled(false);
        else if (operatorAction == QLatin1String("open another"))
            bridge.openSerial(other.portName(), Baud);
    });

    QVERIFY(bridge.openSerial(link, Baud));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0, ProcessWaitMs);
    if (operatorAction == QLatin1String("close"))
        bridge.closeSerial();
    QVERIFY(!sim.waitForReturn().isEmpty());
    QVERIFY(runTimersDueWithin(ChecksMs));

    QVERIFY(!reconnect.waiting());
    QCOMPARE(reopened.count(), 0);
    QCOMPARE(bridge.serialOpened(), operatorAction == QLatin1String("open another"));
    QCOMPARE(bridge.serialLink().portName(), operatorAction == QLatin1String("open another") ? other.portName() : link);
    QCOMPARE(reconnect.enabled(), operatorAction != QLatin1String("off") && operatorAction != QLatin1String("switch off"));
    QVERIFY(messageTexts(bridge).filter(QStringLiteral("Reconnected")).isEmpty());
}

// A kernel name is followed by its adapter's serial number, which can come back under another name; a path,
// or a port without a serial number, is the same name again. Only a port that exists counts: /dev/null stands
// in for one that is back, present and ours to use.
void TestAutoReconnect::returnedPortIsFoundByItsAdapter()
{
    const QString present = QStringLiteral("null");
    const PortEntry sameAdapter {QStringLiteral("/dev/serial/by-id/usb-Gimbal_A1B2-if00"), present, QString(),
                                 QString(), QStringLiteral("A1B2"), QString()};
    const PortEntry otherAdapter {QStringLiteral("/dev/serial/by-id/usb-Gimbal_FFFF-if00"), QStringLiteral("ttyUSB7"),
                                  QString(), QString(), QStringLiteral("FFFF"), QString()};
    const QString missing = QStringLiteral("ttyNoSuchPort");

    QCOMPARE(returnedPortName({QStringLiteral("ttyUSB0"), QStringLiteral("A1B2")}, {otherAdapter, sameAdapter}), present);
    QCOMPARE(returnedPortName({QStringLiteral("ttyUSB0"), QStringLiteral("A1B2")}, {otherAdapter}), QString());
    QCOMPARE(returnedPortName({present, QString()}, {otherAdapter}), present);
    QCOMPARE(returnedPortName({missing, QString()}, {sameAdapter}), QString());
    QCOMPARE(returnedPortName({QStringLiteral("/dev/null"), QString()}, {}), QStringLiteral("/dev/null"));
    QCOMPARE(returnedPortName({QStringLiteral("/dev/") + missing, QStringLiteral("A1B2")}, {sameAdapter}), QString());
}

QTEST_GUILESS_MAIN(TestAutoReconnect)
#include "tst_autoreconnect.moc"
