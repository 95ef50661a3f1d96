// Parameters and commands end to end: the real bridge against the simulated
// controller tavox-sim, which answers, applies writes and reboots as the
// controller does.
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"

#include <QtTest>

#include <functional>
#include <memory>

using Operation = std::function<void(AppBridge &)>;
Q_DECLARE_METATYPE(Operation)

namespace {
const int Baud = 921600;
const int ReplyTimeoutMs = 5000;
// The reboot sequence after a channel write reads the block 3 s and 6 s after the reboot.
const int RebootSequenceTimeoutMs = 15000;

bool isZh(const QString &language)
{
    return language == QLatin1String("zh");
}

QString readOk(const QString &language)
{
    return isZh(language) ? QStringLiteral("参数读取成功") : QStringLiteral("Parameters read OK");
}

// The log without the version query of the start-up exchange and its answer,
// which belong to another part of the tool and arrive whenever they arrive.
QStringList ownEntries(const AppBridge &bridge)
{
    QStringList entries;
    for (const QString &text : messageTexts(bridge)) {
        const bool versionExchange = text == QLatin1String("Querying version...") || text == QStringLiteral("正在查询版本号...")
                                     || text.startsWith(QLatin1String("Firmware: ")) || text.startsWith(QStringLiteral("固件版本: "));
        if (!versionExchange)
            entries.append(text);
    }
    return entries;
}

// One simulated controller and one bridge connected to it.
class Session
{
public:
    Session(const QStringList &simArguments, const QString &language)
        : sim(simArguments)
        , m_language(language)
    {
        bridge.setLanguage(language);
    }

    // Starts the simulator, opens the bridge on it and waits for the
    // parameter block the bridge reads on its own after opening.
    void open()
    {
        QVERIFY2(sim.start(), "tavox-sim did not start");
        QVERIFY(bridge.openSerial(sim.portName(), Baud));
        QTRY_VERIFY_WITH_TIMEOUT(ownEntries(bridge).contains(readOk(m_language)), ReplyTimeoutMs);
    }

    int count(const QString &entry) const { return ownEntries(bridge).count(entry); }

    SimProcess sim;
    AppBridge bridge;

private:
    QString m_language;
};
}

class TestParamsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void automaticRead_data();
    void automaticRead();
    void sbusWriteAppliedAfterReboot();
    void torqueWriteAndReboot();
    void accelCalibration_data();
    void accelCalibration();
    void acknowledgements_data();
    void acknowledgements();
    void cleanupTestCase();

private:
    std::unique_ptr<Session> m_shared;
};

void TestParamsEndToEnd::automaticRead_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QVariantMap>("expected");

    // The simulator's factory settings, as each firmware form reports them.
    const QVariantMap base = {
        { "tavoxSbusPitchCh", 2 },      { "tavoxSbusYawCh", 4 },         { "tavoxSbusCenterCh", 5 },
        { "tavoxSbusMode", 1 },         { "tavoxPwmPitchCh", 1 },        { "tavoxPwmYawCh", 2 },
        { "tavoxPwmCenterCh", 3 },      { "tavoxPwmMode", 1 },           { "tavoxCameraPosition", 0 },
        { "tavoxPitchMaxSpeed", 60 },   { "tavoxYawMaxSpeed", 90 },      { "tavoxFpvMode", 1 },
        { "tavoxSbusRollCh", 1 },       { "tavoxRollMaxSpeed", 30 },     { "tavoxSbusLockCh", 6 },
        { "tavoxPwmLockCh", 1 },        { "tavoxYawMaxTorque", 12000 },  { "tavoxRollMaxTorque", 10000 },
        { "tavoxPitchMaxTorque", 8000 }, { "tavoxPwmRollCh", 1 },
    };
    const QVariantMap noDirections = {
        { "tavoxSbusPitchDir", 0 }, { "tavoxSbusRollDir", 0 }, { "tavoxSbusYawDir", 0 },
        { "tavoxPwmPitchDir", 0 },  { "tavoxPwmYawDir", 0 },
    };
    const QVariantMap directions = {
        { "tavoxSbusPitchDir", 1 }, { "tavoxSbusRollDir", 1 }, { "tavoxSbusYawDir", 1 },
        { "tavoxPwmPitchDir", 1 },  { "tavoxPwmYawDir", 1 },
    };
    // What the tool holds for a segment the firmware does not send.
    const QVariantMap toolCrsf = {
        { "tavoxCrsfPitchCh", 1 },  { "tavoxCrsfRollCh", 1 },  { "tavoxCrsfYawCh", 1 },  { "tavoxCrsfCenterCh", 1 },
        { "tavoxCrsfLockCh", 1 },   { "tavoxCrsfMode", 1 },    { "tavoxCrsfPitchDir", 0 }, { "tavoxCrsfRollDir", 0 },
        { "tavoxCrsfYawDir", 0 },
    };
    const QVariantMap toolPhotoVideo = { { "tavoxSbusPhotoCh", 0 }, { "tavoxSbusVideoCh", 0 } };
    const QVariantMap simCrsf = {
        { "tavoxCrsfPitchCh", 2 },  { "tavoxCrsfRollCh", 1 },  { "tavoxCrsfYawCh", 4 },  { "tavoxCrsfCenterCh", 5 },
        { "tavoxCrsfLockCh", 6 },   { "tavoxCrsfMode", 1 },    { "tavoxCrsfPitchDir", 1 }, { "tavoxCrsfRollDir", 1 },
        { "tavoxCrsfYawDir", 1 },
    };
    const QVariantMap simPhotoVideo = { { "tavoxSbusPhotoCh", 7 }, { "tavoxSbusVideoCh", 8 } };

    const auto merged = [](std::initializer_list<QVariantMap> parts) {
        QVariantMap all;
        for (const QVariantMap &part : parts)
            all.insert(part);
        return all;
    };
    QTest::newRow("base") << "base" << merged({ base, noDirections, toolCrsf, toolPhotoVideo });
    QTest::newRow("photo/video") << "photo" << merged({ base, directions, toolCrsf, simPhotoVideo });
    QTest::newRow("CRSF") << "crsf" << merged({ base, directions, simCrsf, toolPhotoVideo });
}

void TestParamsEndToEnd::automaticRead()
{
    QFETCH(QString, form);
    QFETCH(QVariantMap, expected);
    Session session({ "--param-form", form, "--hb-rate", "0" }, QStringLiteral("en"));
    QSignalSpy paramsChanged(&session.bridge, &AppBridge::tavoxParamsChanged);
    session.open();
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(paramsChanged.count(), 1);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(session.bridge.property(qPrintable(it.key())).toInt(), it.value().toInt());
}

void TestParamsEndToEnd::sbusWriteAppliedAfterReboot()
{
    // Heartbeats on, as a controller sends them: they must not disturb the sequence.
    Session session({ "--param-form", "crsf" }, QStringLiteral("en"));
    session.open();
    if (QTest::currentTestFailed())
        return;
    session.bridge.clearMessages();
    QSignalSpy paramsChanged(&session.bridge, &AppBridge::tavoxParamsChanged);

    session.bridge.tavoxWriteSbusChannelsWithDir(9, 8, 7, 6, 5, 0, 0, 1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(session.count(QStringLiteral("Parameters read OK")), 2, RebootSequenceTimeoutMs);

    const QStringList expected = {
        "SBUS channels written", "SBUS Channel succeeded",       "Auto-activated",
        "Activate succeeded",    "Config applied, rebooting...", "Reboot succeeded",
        "Reading parameters...", "Parameters read OK",           "Reading parameters...",
        "Parameters read OK",
    };
    QCOMPARE(ownEntries(session.bridge), expected);
    // The write, then each read.
    QCOMPARE(paramsChanged.count(), 3);
    // What the controller reports after its reboot is what was written.
    QCOMPARE(session.bridge.tavoxSbusPitchCh(), 9);
    QCOMPARE(session.bridge.tavoxSbusRollCh(), 8);
    QCOMPARE(session.bridge.tavoxSbusYawCh(), 7);
    QCOMPARE(session.bridge.tavoxSbusCenterCh(), 6);
    QCOMPARE(session.bridge.tavoxSbusLockCh(), 5);
    QCOMPARE(session.bridge.tavoxSbusMode(), 0);
    QCOMPARE(session.bridge.tavoxSbusPitchDir(), 0);
    QCOMPARE(session.bridge.tavoxSbusRollDir(), 1);
    QCOMPARE(session.bridge.tavoxSbusYawDir(), 0);
    // Settings the write did not touch come back as they were.
    QCOMPARE(session.bridge.tavoxCrsfLockCh(), 6);
    QCOMPARE(session.bridge.tavoxPwmCenterCh(), 3);
}

void TestParamsEndToEnd::torqueWriteAndReboot()
{
    Session session({ "--hb-rate", "0" }, QStringLiteral("zh"));
    session.open();
    if (QTest::currentTestFailed())
        return;
    session.bridge.clearMessages();

    session.bridge.tavoxWriteTorque(100, 200, 300);
    QTRY_VERIFY_WITH_TIMEOUT(session.count(QStringLiteral("重启指令成功")) == 1, ReplyTimeoutMs);
    session.bridge.tavoxReadParams();
    QTRY_VERIFY_WITH_TIMEOUT(session.count(readOk(QStringLiteral("zh"))) == 1, ReplyTimeoutMs);

    const QStringList expected = { "力矩设置已写入", "力矩设置指令成功", "力矩生效，设备重启中...",
                                   "重启指令成功",   "正在读取参数...",  "参数读取成功" };
    QCOMPARE(ownEntries(session.bridge), expected);
    QCOMPARE(session.bridge.tavoxPitchMaxTorque(), 100);
    QCOMPARE(session.bridge.tavoxRollMaxTorque(), 200);
    QCOMPARE(session.bridge.tavoxYawMaxTorque(), 300);
}

void TestParamsEndToEnd::accelCalibration_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("en") << QStringLiteral("en")
                        << QStringList { "Accel Calib: UP",    "Accel Calib: FRONT", "Accel Calib: DOWN",
                                         "Accel Calib: BACK",  "Accel Calib: LEFT",  "Accel Calib: RIGHT",
                                         "Accel Calib: Calculating...", "Accel Calib succeeded" };
    QTest::newRow("zh") << QStringLiteral("zh")
                        << QStringList { "加速度计校准: 正放(UP)",   "加速度计校准: 前面(FRONT)",
                                         "加速度计校准: 倒放(DOWN)", "加速度计校准: 后面(BACK)",
                                         "加速度计校准: 左面(LEFT)", "加速度计校准: 右面(RIGHT)",
                                         "加速度计校准: 计算中...",  "加速度计校准成功" };
}

void TestParamsEndToEnd::accelCalibration()
{
    QFETCH(QString, language);
    QFETCH(QStringList, messages);
    Session session({ "--hb-rate", "0", "--accel-step-ms", "100" }, language);
    session.open();
    if (QTest::currentTestFailed())
        return;
    session.bridge.clearMessages();
    QList<int> states;
    connect(&session.bridge, &AppBridge::accelCaliStateChanged, this,
            [&] { states.append(session.bridge.accelCaliState()); });

    session.bridge.tavoxSendCalibration(2);
    QTRY_COMPARE_WITH_TIMEOUT(session.bridge.accelCaliState(), 8, ReplyTimeoutMs);

    QCOMPARE(states, (QList<int> { 1, 2, 3, 4, 5, 6, 7, 8 }));
    QCOMPARE(ownEntries(session.bridge), messages);
}

void TestParamsEndToEnd::acknowledgements_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("camera position") << Operation([](AppBridge &b) { b.tavoxWriteCameraPosition(1); })
                                     << QStringList { "Camera setting written", "Camera Position succeeded" };
    QTest::newRow("gimbal configuration")
        << Operation([](AppBridge &b) { b.tavoxWriteGimbalConfig(2, 40, 50, 60); })
        << QStringList { "Gimbal config written", "Max Speed succeeded", "FPV Mode succeeded" };
    QTest::newRow("SBUS photo/video") << Operation([](AppBridge &b) { b.tavoxSendSbusPhotoVideo(3, 4); })
                                      << QStringList { "SBUS photo/video channels written", "SBUS Photo/Video succeeded" };
    QTest::newRow("CRSF directions") << Operation([](AppBridge &b) { b.tavoxWriteCrsfDirections(0, 1, 0); })
                                     << QStringList { "CRSF directions written", "CRSF Channel succeeded" };
    QTest::newRow("middle motor forward") << Operation([](AppBridge &b) { b.tavoxSendMotorTorque(1, 0); })
                                          << QStringList { "Motor: Middle Fwd torque", "Middle Fwd Torque succeeded" };
    QTest::newRow("inner electrical angle end")
        << Operation([](AppBridge &b) { b.tavoxSendElecAngleCalib(2, false); })
        << QStringList { "Elec angle calib end", "Inner Elec Calib End succeeded" };
    QTest::newRow("default hall data") << Operation([](AppBridge &b) { b.tavoxSendHallDataSelect(false); })
                                       << QStringList { "Switched to default hall data", "Use Default Hall Data succeeded" };
    QTest::newRow("stop motors") << Operation([](AppBridge &b) { b.tavoxSendCalibration(0); })
                                 << QStringList { "Stop Motor succeeded" };
    QTest::newRow("zero point") << Operation([](AppBridge &b) { b.tavoxSendCalibration(5); })
                                << QStringList { "Zero Calib succeeded" };
}

// All rows talk to one simulator: each operation's entries, in order.
void TestParamsEndToEnd::acknowledgements()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, entries);
    if (!m_shared) {
        m_shared = std::make_unique<Session>(QStringList { "--hb-rate", "0" }, QStringLiteral("en"));
        m_shared->open();
        if (QTest::currentTestFailed())
            return;
    }
    m_shared->bridge.clearMessages();

    operation(m_shared->bridge);
    QTRY_COMPARE_WITH_TIMEOUT(ownEntries(m_shared->bridge).size(), entries.size(), ReplyTimeoutMs);
    QCOMPARE(ownEntries(m_shared->bridge), entries);
}

void TestParamsEndToEnd::cleanupTestCase()
{
    m_shared.reset();
}

QTEST_GUILESS_MAIN(TestParamsEndToEnd)
#include "tst_params_e2e.moc"
