// A marker command sent last proves that nothing else is still on its way. The tests take turns on one
// simulated controller, each starting where the last one's marker ended.
#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"
#include "window/MotorService.h"
#include "support/BridgeTestUtils.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {
const int Baud = 921600;
// The gyro bias update: a command none of the paths under test sends by itself.
const QString Marker = QStringLiteral("9D");

struct Rig
{
    // `port`: the path the tool opens, the simulator's own when empty.
    explicit Rig(const QStringList &simArguments = {}, const QString &port = QString())
        : sim(QStringList {QStringLiteral("--verbose")} + simArguments)
        , port(port)
    {
    }

    SimProcess sim;
    QString port;
    AppBridge bridge;
    std::unique_ptr<MotorService> service;
    int from = 0;

    bool open()
    {
        bridge.setLanguage(QStringLiteral("en"));
        if (!sim.start() || !bridge.openSerial(port.isEmpty() ? sim.portName() : port, Baud))
            return false;
        // The opening read and version query are answered before the test begins.
        if (!QTest::qWaitFor([this] { return bridge.tavoxFirmwareVersion() != QLatin1String("-"); }, ProcessWaitMs))
            return false;
        service.reset(MotorService::overBridge(bridge, nullptr));
        from = simReceivedFrames(sim.errorOutput()).size();
        return true;
    }

    // The commands the controller received since the test began, parameter reads left out.
    QString received() const
    {
        return requestSequence(simReceivedFrames(sim.errorOutput()).mid(from))
            .remove(QStringLiteral("C0")).simplified();
    }

    // Everything sent before the marker has arrived once the marker has; the next commands count from there.
    QString receivedUpToMarker()
    {
        const int earlier = received().count(Marker);
        bridge.tavoxSendGyroBiasUpdate();
        if (!QTest::qWaitFor([this, earlier] { return received().count(Marker) > earlier; }, ProcessWaitMs))
            return QStringLiteral("no marker after: ") + received();
        const QString sent = received();
        from = simReceivedFrames(sim.errorOutput()).size();
        return sent;
    }

    // After the event loop has ended nothing writes the port's buffer out any more: what was sent then
    // reaches the controller only if the sender saw it out itself.
    bool arrivedWithoutEventLoop(const QString &sequence) const
    {
        QDeadlineTimer deadline(ProcessWaitMs);
        while (received() != sequence) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(5);
        }
        return true;
    }
};
}

class TestMotorService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void holdNeedsConfirmationAndKnownArguments();
    void eachHoldEndsInOneClear_data();
    void eachHoldEndsInOneClear();
    void oneShotCommandsAreAcknowledged();
    void endOfTheWindowClearsTheHeldMotor_data();
    void endOfTheWindowClearsTheHeldMotor();
    void endedLinkOwesTheClearToTheNextOpen_data();
    void endedLinkOwesTheClearToTheNextOpen();

private:
    Rig m_shared;
};

void TestMotorService::initTestCase()
{
    QVERIFY(m_shared.open());
}

void TestMotorService::holdNeedsConfirmationAndKnownArguments()
{
    Rig &rig = m_shared;
    QVERIFY(!rig.service->hold(MotorService::Outer, MotorService::Forward));
    rig.service->confirmTorqueTest();
    QVERIFY(!rig.service->hold(3, MotorService::Forward));
    QVERIFY(!rig.service->hold(-1, MotorService::Forward));
    // The bridge takes any other direction for a clear, which must never count as a hold.
    QVERIFY(!rig.service->hold(MotorService::Outer, MotorDevice::ClearTorque));
    QCOMPARE(rig.service->holding(), int(MotorService::NoMotor));
    QCOMPARE(rig.receivedUpToMarker(), Marker);
}

void TestMotorService::eachHoldEndsInOneClear_data()
{
    QTest::addColumn<QString>("steps");   // h<motor><f|r>: hold, c<motor>: hall calibration, g: gyro bias, x: release
    QTest::addColumn<QString>("sent");
    // Held again, as a repeated press would: the torque is already on.
    QTest::newRow("release, twice") << "h1f h1f x x" << "85 87 9D";
    QTest::newRow("second hold clears the first") << "h0f h2r h2f x" << "81 83 8A 8B 89 8B 9D";
    QTest::newRow("other commands clear first") << "h0r c0 h1r g x" << "82 83 84 86 87 9D 9D";
}

void TestMotorService::eachHoldEndsInOneClear()
{
    QFETCH(QString, steps);
    Rig &rig = m_shared;
    rig.service->confirmTorqueTest();
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const int motor = step.mid(1, 1).toInt();
        if (step.startsWith(QLatin1Char('h')))
            QVERIFY(rig.service->hold(motor, step.endsWith(QLatin1Char('f')) ? MotorService::Forward : MotorService::Reverse));
        else if (step.startsWith(QLatin1Char('c')))
            rig.service->calibrateHall(motor);
        else if (step == QLatin1String("g")) {
            rig.service->updateGyroBias();
            // Arrived before the marker is sent, which would otherwise pass for it.
            QTRY_VERIFY_WITH_TIMEOUT(rig.received().endsWith(Marker), ProcessWaitMs);
        }
        else
            rig.service->release();
    }
    QCOMPARE(rig.service->holding(), int(MotorService::NoMotor));
    QTEST(rig.receivedUpToMarker(), "sent");
}

void TestMotorService::endedLinkOwesTheClearToTheNextOpen_data()
{
    QTest::addColumn<bool>("hangsUp");
    QTest::newRow("closed and opened by the operator") << false;
    QTest::newRow("line hung up and reconnected") << true;
}

// A controller keeps a test torque when its link ends: the hold is released in the window at once, a release
// then sends nothing and claims nothing, and the clear goes out before anything else once a port opens.
void TestMotorService::endedLinkOwesTheClearToTheNextOpen()
{
    QFETCH(bool, hangsUp);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    Rig rig(hangsUp ? QStringList {"--link", link, "--fault-hangup-after", "2000", "--fault-return-after", "300"}
                    : QStringList {},
            hangsUp ? link : QString());
    AutoReconnect reconnect(rig.bridge);
    QSignalSpy reopened(&reconnect, &AutoReconnect::reopened);
    QVERIFY(rig.open());
    rig.service->confirmTorqueTest();
    QVERIFY(rig.service->hold(MotorService::Outer, MotorService::Forward));
    QTRY_COMPARE_WITH_TIMEOUT(rig.received(), QStringLiteral("81"), ProcessWaitMs);
    if (!hangsUp)
        rig.bridge.closeSerial();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.bridge.serialOpened(), ProcessWaitMs);
    QCOMPARE(rig.service->holding(), int(MotorService::NoMotor));
    rig.service->release();
    QVERIFY(!rig.service->hold(MotorService::Outer, MotorService::Forward));
    const QString owed = QStringLiteral("The link ended while the outer frame motor held a test torque: the "
                                        "controller may still hold it. It is cleared first thing when a port opens "
                                        "again.");
    QCOMPARE(messageTexts(rig.bridge).count(owed), 1);
    QVERIFY(messageTexts(rig.bridge).filter(QStringLiteral("Torque clear")).isEmpty());

    if (hangsUp)
        QVERIFY(reopened.wait(ProcessWaitMs));
    else
        QVERIFY(rig.bridge.openSerial(rig.sim.portName(), Baud));
    // First on the line, before the reopened port's parameter read.
    const auto requests = [&rig] { return requestSequence(simReceivedFrames(rig.sim.errorOutput()).mid(rig.from)); };
    QTRY_VERIFY_WITH_TIMEOUT(requests().contains(QStringLiteral("C0")), ProcessWaitMs);
    QVERIFY2(requests().startsWith(QStringLiteral("81 83 C0")), qPrintable(requests()));
    rig.service->release();
    QCOMPARE(rig.receivedUpToMarker(), QStringLiteral("81 83 9D"));
    QVERIFY(messageTexts(rig.bridge).contains(
        QStringLiteral("Motor test torque cleared after the link returned (outer frame motor)")));
}

void TestMotorService::endOfTheWindowClearsTheHeldMotor_data()
{
    QTest::addColumn<bool>("quits");   // else its objects are destroyed, as after the event loop has ended
    QTest::newRow("quit") << true;
    QTest::newRow("destruction") << false;
}

void TestMotorService::endOfTheWindowClearsTheHeldMotor()
{
    QFETCH(bool, quits);
    const QString sent = QStringLiteral("86 87");
    Rig &rig = m_shared;
    rig.service.reset(MotorService::overBridge(rig.bridge, nullptr));
    rig.service->confirmTorqueTest();
    QVERIFY(rig.service->hold(MotorService::Middle, MotorService::Reverse));
    if (quits) {
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        QCOMPARE(rig.service->holding(), int(MotorService::NoMotor));
    } else {
        rig.service.reset();
    }
    QVERIFY2(rig.arrivedWithoutEventLoop(sent), qPrintable(rig.received()));
    rig.service.reset();
    QCOMPARE(rig.receivedUpToMarker(), sent + QStringLiteral(" 9D"));
}

void TestMotorService::oneShotCommandsAreAcknowledged()
{
    Rig &rig = m_shared;
    const int earlier = messageTexts(rig.bridge).size();
    for (int motor = MotorService::Outer; motor <= MotorService::Inner; ++motor) {
        rig.service->calibrateHall(motor);
        rig.service->calibrateElecAngle(motor, true);
        rig.service->calibrateElecAngle(motor, false);
    }
    rig.service->useHallData(true);
    rig.service->useHallData(false);
    rig.service->calibrateLinearity();
    QCOMPARE(rig.receivedUpToMarker(), QStringLiteral("84 92 93 88 94 95 8C 96 97 98 99 9B 9D"));
    const QStringList acknowledged = {"Outter Hall Calib", "Middle Elec Calib Start", "Inner Elec Calib End",
                                      "Use User Hall Data", "Use Default Hall Data", "Linear Calib",
                                      "Gyro Bias Update"};
    for (const QString &name : acknowledged) {
        QTRY_VERIFY2_WITH_TIMEOUT(messageTexts(rig.bridge).mid(earlier).contains(name + QStringLiteral(" succeeded")),
                                  qPrintable(name), ProcessWaitMs);
    }
}

QTEST_GUILESS_MAIN(TestMotorService)

#include "tst_motorservice.moc"
