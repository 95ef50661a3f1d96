#include "app/Config.h"
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

namespace {
// Properties in declaration order, as runs sharing one type and NOTIFY signal.
struct PropertyRun
{
    const char *type;
    const char *notify;
    const char *names;
};

const PropertyRun Properties[] = {
    { "QString", "languageChanged", "language" },
    { "QString", "messageLogChanged", "messageLog" },
    { "QStringList", "serialPortsChanged", "serialPorts" },
    { "bool", "serialOpenedChanged", "serialOpened" },
    { "QString", "linkStatusChanged", "linkStatus" },
    { "QString", nullptr, "appVersion" },
    { "int", "tavoxParamsChanged",
      "tavoxSbusPitchCh tavoxSbusRollCh tavoxSbusYawCh tavoxSbusCenterCh tavoxSbusLockCh tavoxSbusMode "
      "tavoxPwmPitchCh tavoxPwmRollCh tavoxPwmYawCh tavoxPwmCenterCh tavoxPwmLockCh tavoxPwmMode "
      "tavoxCrsfPitchCh tavoxCrsfRollCh tavoxCrsfYawCh tavoxCrsfCenterCh tavoxCrsfLockCh tavoxCrsfMode "
      "tavoxFpvMode tavoxPitchMaxSpeed tavoxRollMaxSpeed tavoxYawMaxSpeed tavoxCameraPosition "
      "tavoxPitchMaxTorque tavoxRollMaxTorque tavoxYawMaxTorque tavoxSbusPhotoCh tavoxSbusVideoCh "
      "tavoxSbusPitchDir tavoxSbusRollDir tavoxSbusYawDir tavoxPwmPitchDir tavoxPwmYawDir "
      "tavoxCrsfPitchDir tavoxCrsfRollDir tavoxCrsfYawDir" },
    { "int", "tavoxUpgradeProgressChanged", "tavoxUpgradeProgress" },
    { "QString", "tavoxVersionChanged", "tavoxFirmwareVersion tavoxBootVersion" },
    { "QString", "tavoxUpgradeFilePathChanged", "tavoxUpgradeFilePath" },
    { "double", "heartbeatChanged", "hbPitch hbRoll hbYaw" },
    { "bool", "heartbeatChanged", "hbAttiReady hbJointInitOk hbUnderVolt hbMemsLost" },
    { "int", "heartbeatChanged", "hbActuator" },
    { "bool", "heartbeatChanged", "hbSoftLimit" },
    { "int", "heartbeatChanged", "hbCtrlMode hbStateMachine" },
    { "double", "heartbeatChanged", "hbJointOutterAngle hbJointMiddleAngle hbJointInnerAngle hbImuTemp" },
    { "int", "heartbeatChanged",
      "hbSbusPitchValue hbSbusRollValue hbSbusYawValue hbSbusCenterValue hbSbusLockValue "
      "hbPwmPitchValue hbPwmYawValue hbPwmCenterValue "
      "hbCrsfPitchValue hbCrsfRollValue hbCrsfYawValue hbCrsfCenterValue hbCrsfLockValue" },
    { "bool", "heartbeatChanged", "hbCrsfValuePresent hbReceived" },
    { "int", "accelCaliStateChanged", "accelCaliState" },
    { "bool", "tavoxUpgradingChanged", "tavoxUpgrading" },
};

const char *const Signals[] = {
    "languageChanged()", "messageLogChanged()", "serialPortsChanged()", "serialOpenedChanged()",
    "linkStatusChanged()", "tavoxParamsChanged()", "tavoxUpgradeProgressChanged()", "tavoxVersionChanged()",
    "tavoxUpgradeFilePathChanged()", "heartbeatChanged()", "accelCaliStateChanged()", "tavoxUpgradingChanged()",
};

struct ExpectedInvokable
{
    const char *signature;
    const char *parameterNames;
    const char *returnType;
};

const ExpectedInvokable Invokables[] = {
    { "setLanguage(QString)", "lang", "void" },
    { "clearMessages()", "", "void" },
    { "refreshSerialPorts()", "", "void" },
    { "openSerial(QString,int)", "portName,baudRate", "bool" },
    { "closeSerial()", "", "void" },
    { "tavoxRequireSerial()", "", "bool" },
    { "tavoxSendCalibration(int)", "cmdType", "void" },
    { "tavoxReadParams()", "", "void" },
    { "tavoxWriteSbusChannels(int,int,int,int,int,int)", "pitch,roll,yaw,center,lockCh,mode", "void" },
    { "tavoxWritePwmChannels(int,int,int,int,int,int)", "pitch,roll,yaw,center,lockCh,mode", "void" },
    { "tavoxWriteCrsfChannels(int,int,int,int,int,int)", "pitch,roll,yaw,center,lockCh,mode", "void" },
    { "tavoxWriteSbusChannelsWithDir(int,int,int,int,int,int,int,int,int)",
      "pitch,roll,yaw,center,lockCh,mode,pitchDir,rollDir,yawDir", "void" },
    { "tavoxWritePwmChannelsWithDir(int,int,int,int,int,int,int)",
      "pitch,yaw,center,lockCh,mode,pitchDir,yawDir", "void" },
    { "tavoxWriteCrsfChannelsWithDir(int,int,int,int,int,int,int,int,int)",
      "pitch,roll,yaw,center,lockCh,mode,pitchDir,rollDir,yawDir", "void" },
    { "tavoxWriteGimbalConfig(int,int,int,int)", "fpvMode,pitchSpeed,rollSpeed,yawSpeed", "void" },
    { "tavoxWriteCameraPosition(int)", "position", "void" },
    { "tavoxWriteTorque(int,int,int)", "pitchTorque,rollTorque,yawTorque", "void" },
    { "tavoxQueryVersion()", "", "void" },
    { "tavoxSelectUpgradeFile()", "", "void" },
    { "tavoxStartUpgrade(QString)", "filePath", "void" },
    { "tavoxOnStartup()", "", "void" },
    { "tavoxSendMotorTorque(int,int)", "motor,direction", "void" },
    { "tavoxSendMotorHallCalib(int)", "motor", "void" },
    { "tavoxSendElecAngleCalib(int,bool)", "motor,start", "void" },
    { "tavoxSendHallDataSelect(bool)", "useUser", "void" },
    { "tavoxSendLinearCalib()", "", "void" },
    { "tavoxSendGyroBiasUpdate()", "", "void" },
    { "tavoxSendSbusPhotoVideo(int,int)", "photoCh,videoCh", "void" },
    { "tavoxWriteSbusDirections(int,int,int)", "pitchDir,rollDir,yawDir", "void" },
    { "tavoxWritePwmDirections(int,int)", "pitchDir,yawDir", "void" },
    { "tavoxWriteCrsfDirections(int,int,int)", "pitchDir,rollDir,yawDir", "void" },
};

// Device operations refused while the port is closed (tavoxSelectUpgradeFile
// needs no port, and the guard itself is tested on its own).
const char *const GuardedOperations[] = {
    "tavoxSendCalibration", "tavoxReadParams", "tavoxWriteSbusChannels", "tavoxWritePwmChannels",
    "tavoxWriteCrsfChannels", "tavoxWriteSbusChannelsWithDir", "tavoxWritePwmChannelsWithDir",
    "tavoxWriteCrsfChannelsWithDir", "tavoxWriteGimbalConfig", "tavoxWriteCameraPosition", "tavoxWriteTorque",
    "tavoxQueryVersion", "tavoxStartUpgrade", "tavoxSendMotorTorque", "tavoxSendMotorHallCalib",
    "tavoxSendElecAngleCalib", "tavoxSendHallDataSelect", "tavoxSendLinearCalib", "tavoxSendGyroBiasUpdate",
    "tavoxSendSbusPhotoVideo", "tavoxWriteSbusDirections", "tavoxWritePwmDirections", "tavoxWriteCrsfDirections",
};

// Calls a method with plausible arguments of its parameter types.
void invokeWithDefaults(QObject &object, const QMetaMethod &method)
{
    QVector<QVariant> values;
    QGenericArgument args[9];
    for (int i = 0; i < method.parameterCount(); ++i)
        values.append(QVariant(method.parameterType(i), nullptr));
    for (int i = 0; i < values.size(); ++i) {
        if (method.parameterType(i) == QMetaType::QString)
            values[i] = QStringLiteral("/nonexistent/image.bin");
        else if (method.parameterType(i) == QMetaType::Int)
            values[i] = 1;
        args[i] = QGenericArgument(values[i].typeName(), values[i].constData());
    }
    QVERIFY(method.invoke(&object, Qt::DirectConnection, args[0], args[1], args[2], args[3], args[4], args[5],
                          args[6], args[7], args[8]));
}
}

class TestBridge : public QObject
{
    Q_OBJECT

private slots:
    // Stamps in a zone away from UTC, so that a stamp in the wrong zone shows; the bridge starts in Chinese.
    void initTestCase()
    {
        qputenv("TZ", "CST-8");
        useChineseLocale();
    }
    void init() { removeConfigFile(); }
    void cleanupTestCase() { removeConfigFile(); }

    void metaObjectSurfaceIsExact();
    void startsWithDefaultsAndOneEntry();
    void firstPortListingFollowsOnTheEventLoop();
    void languageFromConfigurationFile_data();
    void languageFromConfigurationFile();
    void messageLogKeepsUnderFiveHundredLines();
    void messageLogChangedArrivesOncePerChangeAfterReturn();
    void setLanguageNormalisesStoresAndKeepsTheLog();
    void everyDeviceOperationIsRefusedWhileClosed();
    void startupHintAppearsOnce();
};

void TestBridge::metaObjectSurfaceIsExact()
{
    AppBridge bridge;
    const QMetaObject *meta = bridge.metaObject();
    QCOMPARE(meta->className(), "AppBridge");

    const int methodOffset = meta->methodOffset();
    QCOMPARE(meta->methodCount() - methodOffset, 12 + 31);
    for (int i = 0; i < 12; ++i) {
        const QMetaMethod method = meta->method(methodOffset + i);
        QCOMPARE(method.methodType(), QMetaMethod::Signal);
        QCOMPARE(method.methodSignature(), QByteArray(Signals[i]));
    }
    for (int i = 0; i < 31; ++i) {
        const QMetaMethod method = meta->method(methodOffset + 12 + i);
        QCOMPARE(method.methodType(), QMetaMethod::Method);
        QCOMPARE(method.methodSignature(), QByteArray(Invokables[i].signature));
        QCOMPARE(method.parameterNames().join(','), QByteArray(Invokables[i].parameterNames));
        QCOMPARE(QByteArray(method.typeName()), QByteArray(Invokables[i].returnType));
    }

    int index = meta->propertyOffset();
    for (const PropertyRun &run : Properties) {
        for (const QByteArray &name : QByteArray(run.names).split(' ')) {
            const QMetaProperty property = meta->property(index++);
            QCOMPARE(QByteArray(property.name()), name);
            QCOMPARE(property.typeName(), run.type);
            QCOMPARE(property.isWritable(), name == "language");
            QCOMPARE(property.isConstant(), run.notify == nullptr);
            QCOMPARE(property.notifySignal().name(), QByteArray(run.notify));
        }
    }
    QCOMPARE(index - meta->propertyOffset(), 78);
    QCOMPARE(meta->propertyCount(), index);
}

void TestBridge::startsWithDefaultsAndOneEntry()
{
    // The stamp keeps whole seconds: it lies between these two, however long the start took.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    AppBridge bridge;
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(bridge.language(), QStringLiteral("zh"));
    QCOMPARE(bridge.linkStatus(), QStringLiteral("当前连接: 未连接"));
    QCOMPARE(bridge.accelCaliState(), -1);
    QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("-"));
    QCOMPARE(bridge.tavoxSbusMode(), 1);
    QCOMPARE(bridge.tavoxFpvMode(), 0);
    QCOMPARE(bridge.tavoxPwmLockCh(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] 应用已启动$"))
                .match(bridge.messageLog())
                .hasMatch());
    const QDateTime stamp = QDateTime::fromString(bridge.messageLog().mid(1, 19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY2(stamp > before && stamp <= after, qPrintable(bridge.messageLog()));
    QVERIFY2(!QFile::exists(configFilePath()), "reading the language must not create the file");
}

void TestBridge::firstPortListingFollowsOnTheEventLoop()
{
    qputenv("TAVOX_EXTRA_PORTS", "/dev/tavox-test-port");
    AppBridge bridge;
    QSignalSpy portsChanged(&bridge, &AppBridge::serialPortsChanged);
    QCOMPARE(messageTexts(bridge).size(), 1);
    QVERIFY(portsChanged.wait(ProcessWaitMs));
    qunsetenv("TAVOX_EXTRA_PORTS");
    QCOMPARE(bridge.serialPorts().first(), QStringLiteral("/dev/tavox-test-port"));
    const QStringList texts = messageTexts(bridge);
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.at(1), QStringLiteral("串口已刷新: ") + bridge.serialPorts().join(QStringLiteral(", ")));
}

void TestBridge::languageFromConfigurationFile_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("EN with blanks") << QStringLiteral("  EN  ") << QStringLiteral("en");
    QTest::newRow("ZH with a trailing blank") << QStringLiteral("ZH ") << QStringLiteral("zh");
    QTest::newRow("english") << QStringLiteral("english") << QStringLiteral("zh");
}

void TestBridge::languageFromConfigurationFile()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    {
        QSettings settings(configFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("general/language"), stored);
    }
    AppBridge bridge;
    QCOMPARE(bridge.language(), expected);
    const QString started = expected == QLatin1String("en") ? QStringLiteral("Application started")
                                                            : QStringLiteral("应用已启动");
    QCOMPARE(messageTexts(bridge), QStringList { started });
}

void TestBridge::messageLogKeepsUnderFiveHundredLines()
{
    AppBridge bridge;
    bridge.clearMessages();
    for (int i = 1; i <= 499; ++i)
        bridge.messages().append(QString::number(i));
    QCOMPARE(bridge.messageLog().count('\n'), 498);
    QCOMPARE(messageTexts(bridge).size(), 499);

    bridge.messages().append(QStringLiteral("500"));
    QCOMPARE(messageTexts(bridge).size(), 500);

    // The 501st append reaches 500 separators and drops the two oldest lines.
    bridge.messages().append(QStringLiteral("501"));
    QStringList texts = messageTexts(bridge);
    QCOMPARE(texts.size(), 499);
    QCOMPARE(texts.first(), QStringLiteral("3"));
    QCOMPARE(texts.last(), QStringLiteral("501"));

    bridge.messages().append(QStringLiteral("502"));
    QCOMPARE(messageTexts(bridge).size(), 500);
    bridge.messages().append(QStringLiteral("503"));
    texts = messageTexts(bridge);
    QCOMPARE(texts.size(), 499);
    QCOMPARE(texts.first(), QStringLiteral("5"));
}

// Each append and each clear signals once, after the caller has returned.
void TestBridge::messageLogChangedArrivesOncePerChangeAfterReturn()
{
    AppBridge bridge;
    QTRY_COMPARE(messageTexts(bridge).size(), 2);   // the first port listing is in
    bridge.clearMessages();
    QCoreApplication::processEvents();
    QSignalSpy changed(&bridge, &AppBridge::messageLogChanged);
    bridge.messages().append(QStringLiteral("one"));
    bridge.messages().append(QStringLiteral("two"));
    QCOMPARE(changed.count(), 0);
    QTRY_COMPARE(changed.count(), 2);

    bridge.clearMessages();
    bridge.clearMessages();   // already empty: still signals
    QTRY_COMPARE(changed.count(), 4);
    QVERIFY(bridge.messageLog().isEmpty());
}

void TestBridge::setLanguageNormalisesStoresAndKeepsTheLog()
{
    AppBridge bridge;
    QSignalSpy languageChanged(&bridge, &AppBridge::languageChanged);
    bridge.setLanguage(QStringLiteral(" zh "));
    bridge.setLanguage(QString());
    QCOMPARE(languageChanged.count(), 0);
    QVERIFY2(!QFile::exists(configFilePath()), "an unchanged language must not write the file");

    QVector<QByteArray> order;
    connect(&bridge, &AppBridge::languageChanged, this, [&] { order.append("language"); });
    connect(&bridge, &AppBridge::linkStatusChanged, this, [&] { order.append("linkStatus"); });

    QVERIFY(bridge.setProperty("language", QStringLiteral("EN")));   // as QML writes it
    QCOMPARE(bridge.language(), QStringLiteral("en"));
    QCOMPARE(order, (QVector<QByteArray> { "language", "linkStatus" }));
    // the record stays, each entry in the language it was written in
    QCOMPARE(messageTexts(bridge), QStringList { QStringLiteral("应用已启动") });
    QCOMPARE(bridge.linkStatus(), QStringLiteral("Connected: None"));
    QCOMPARE(readConfiguredLanguage(QString()),
             QStringLiteral("en"));

    bridge.setLanguage(QStringLiteral("fr"));
    QCOMPARE(bridge.language(), QStringLiteral("zh"));
    QCOMPARE(readConfiguredLanguage(QString()),
             QStringLiteral("zh"));
    QCOMPARE(order.size(), 4);
}

void TestBridge::everyDeviceOperationIsRefusedWhileClosed()
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    const QMetaObject *meta = bridge.metaObject();
    for (const char *name : GuardedOperations) {
        QMetaMethod method;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).name() == name)
                method = meta->method(i);
        }
        QVERIFY2(method.isValid(), name);
        bridge.clearMessages();
        invokeWithDefaults(bridge, method);
        QCOMPARE(messageTexts(bridge), QStringList { QStringLiteral("Please open serial port first") });
    }
    bridge.clearMessages();
    QVERIFY(!bridge.tavoxRequireSerial());
    QCOMPARE(messageTexts(bridge), QStringList { QStringLiteral("Please open serial port first") });
}

void TestBridge::startupHintAppearsOnce()
{
    AppBridge bridge;
    bridge.tavoxOnStartup();
    bridge.tavoxOnStartup();
    QCOMPARE(messageTexts(bridge), (QStringList { QStringLiteral("应用已启动"), QStringLiteral("请您先打开串口") }));
}

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
