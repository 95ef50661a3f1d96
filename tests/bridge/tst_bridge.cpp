#include "app/Config.h"
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"

#include <QMetaMethod>
#include <QMetaProperty>
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

// Signals and invokables in declaration order, each as "<return type> <name>(<type> <parameter>, ...)".
const char *const Methods[] = {
    "signal languageChanged()", "signal messageLogChanged()", "signal serialPortsChanged()",
    "signal serialOpenedChanged()", "signal linkStatusChanged()", "signal tavoxParamsChanged()",
    "signal tavoxUpgradeProgressChanged()", "signal tavoxVersionChanged()", "signal tavoxUpgradeFilePathChanged()",
    "signal heartbeatChanged()", "signal accelCaliStateChanged()", "signal tavoxUpgradingChanged()",
    "void setLanguage(QString lang)", "void clearMessages()", "void refreshSerialPorts()",
    "bool openSerial(QString portName, int baudRate)", "void closeSerial()", "bool tavoxRequireSerial()",
    "void tavoxSendCalibration(int cmdType)", "void tavoxReadParams()",
    "void tavoxWriteSbusChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)",
    "void tavoxWritePwmChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)",
    "void tavoxWriteCrsfChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)",
    "void tavoxWriteSbusChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode, "
    "int pitchDir, int rollDir, int yawDir)",
    "void tavoxWritePwmChannelsWithDir(int pitch, int yaw, int center, int lockCh, int mode, int pitchDir, "
    "int yawDir)",
    "void tavoxWriteCrsfChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode, "
    "int pitchDir, int rollDir, int yawDir)",
    "void tavoxWriteGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed)",
    "void tavoxWriteCameraPosition(int position)", "void tavoxWriteTorque(int pitchTorque, int rollTorque, int yawTorque)",
    "void tavoxQueryVersion()", "void tavoxSelectUpgradeFile()", "void tavoxStartUpgrade(QString filePath)",
    "void tavoxOnStartup()", "void tavoxSendMotorTorque(int motor, int direction)",
    "void tavoxSendMotorHallCalib(int motor)", "void tavoxSendElecAngleCalib(int motor, bool start)",
    "void tavoxSendHallDataSelect(bool useUser)", "void tavoxSendLinearCalib()", "void tavoxSendGyroBiasUpdate()",
    "void tavoxSendSbusPhotoVideo(int photoCh, int videoCh)",
    "void tavoxWriteSbusDirections(int pitchDir, int rollDir, int yawDir)",
    "void tavoxWritePwmDirections(int pitchDir, int yawDir)",
    "void tavoxWriteCrsfDirections(int pitchDir, int rollDir, int yawDir)",
};

QString described(const QMetaMethod &method)
{
    QStringList parameters;
    for (int i = 0; i < method.parameterCount(); ++i)
        parameters << QString::fromLatin1(QByteArray(QMetaType::typeName(method.parameterType(i))) + ' '
                                           + method.parameterNames().at(i));
    const QString kind = method.methodType() == QMetaMethod::Signal ? QStringLiteral("signal")
                       : method.methodType() == QMetaMethod::Method ? QString::fromLatin1(method.typeName())
                                                                    : QStringLiteral("slot");
    return QStringLiteral("%1 %2(%3)").arg(kind, QString::fromLatin1(method.name()), parameters.join(QStringLiteral(", ")));
}

// Every device operation is refused while the port is closed, except these: choosing an upgrade file needs
// no port, and the guard itself and the start-up hint are no device operations.
const QStringList Unguarded { "tavoxRequireSerial", "tavoxSelectUpgradeFile", "tavoxOnStartup" };

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
    void startsInChineseWithOneStampedEntry();
    void firstPortListingFollowsOnTheEventLoop();
    void messageLogChangedArrivesOncePerChangeAfterReturn();
    void setLanguageNormalisesStoresAndKeepsTheLog();
    void everyDeviceOperationIsRefusedWhileClosed();
};

void TestBridge::metaObjectSurfaceIsExact()
{
    AppBridge bridge;
    const QMetaObject *meta = bridge.metaObject();
    QCOMPARE(meta->className(), "AppBridge");

    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << described(meta->method(i));
    QCOMPARE(methods, QStringList(std::begin(Methods), std::end(Methods)));

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

void TestBridge::startsInChineseWithOneStampedEntry()
{
    // The stamp keeps whole seconds: it lies between these two, however long the start took.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    AppBridge bridge;
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(bridge.language(), QStringLiteral("zh"));
    QCOMPARE(bridge.linkStatus(), QStringLiteral("当前连接: 未连接"));
    QVERIFY(bridge.messageLog().startsWith(QLatin1Char('[')));
    QCOMPARE(bridge.messageLog().mid(20), QStringLiteral("] 应用已启动"));
    const QDateTime stamp = QDateTime::fromString(bridge.messageLog().mid(1, 19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY2(stamp > before && stamp <= after, qPrintable(bridge.messageLog()));
    QVERIFY(!QFile::exists(configFilePath()));
}

// The command line lists ports only when asked to: a listing walks every terminal of the machine.
void TestBridge::firstPortListingFollowsOnTheEventLoop()
{
    qputenv("TAVOX_EXTRA_PORTS", "/dev/tavox-test-port");
    const AppBridge commandLine(nullptr, AppBridge::Initiative::LeftToCaller);
    AppBridge bridge;
    QSignalSpy portsChanged(&bridge, &AppBridge::serialPortsChanged);
    QCOMPARE(messageTexts(bridge).size(), 1);
    QVERIFY(portsChanged.wait(ProcessWaitMs));
    QCOMPARE(commandLine.serialPorts(), QStringList());
    QCOMPARE(messageTexts(commandLine).size(), 1);
    // An unchanged list is reported again, without a change signal.
    bridge.refreshSerialPorts();
    qunsetenv("TAVOX_EXTRA_PORTS");
    QCOMPARE(portsChanged.count(), 1);
    QCOMPARE(bridge.serialPorts().first(), QStringLiteral("/dev/tavox-test-port"));
    const QString listed = QStringLiteral("串口已刷新: ") + bridge.serialPorts().join(QStringLiteral(", "));
    QCOMPARE(messageTexts(bridge).mid(1), (QStringList { listed, listed }));
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
    QVERIFY(!QFile::exists(configFilePath()));

    QVector<QByteArray> order;
    connect(&bridge, &AppBridge::languageChanged, this, [&] { order.append("language"); });
    connect(&bridge, &AppBridge::linkStatusChanged, this, [&] { order.append("linkStatus"); });

    QVERIFY(bridge.setProperty("language", QStringLiteral("EN")));   // as QML writes it
    QCOMPARE(bridge.language(), QStringLiteral("en"));
    QCOMPARE(order, (QVector<QByteArray> { "language", "linkStatus" }));
    QCOMPARE(messageTexts(bridge), QStringList { QStringLiteral("应用已启动") });
    QCOMPARE(bridge.linkStatus(), QStringLiteral("Connected: None"));
    QCOMPARE(readConfiguredLanguage(QString()), QStringLiteral("en"));

    bridge.setLanguage(QStringLiteral("fr"));
    QCOMPARE(bridge.language(), QStringLiteral("zh"));
    QCOMPARE(readConfiguredLanguage(QString()), QStringLiteral("zh"));
    QCOMPARE(order.size(), 4);
}

void TestBridge::everyDeviceOperationIsRefusedWhileClosed()
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    const QMetaObject *meta = bridge.metaObject();
    int guarded = 0;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() != QMetaMethod::Method || !name.startsWith(QLatin1String("tavox"))
            || Unguarded.contains(name))
            continue;
        bridge.clearMessages();
        invokeWithDefaults(bridge, method);
        QVERIFY2(messageTexts(bridge) == QStringList { QStringLiteral("Please open serial port first") }, qPrintable(name));
        ++guarded;
    }
    QCOMPARE(guarded, 23);
}

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
