// The bridge's parameter and command operations over a real pseudo-terminal:
// what goes on the wire, what the bridge stores and reports, how it takes the
// controller's replies, and the timed activate-and-reboot sequences.
#include "bridge/AppBridge.h"
#include "device/CommandPacking.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/MessageCapture.h"
#include "support/PseudoTerminal.h"

#include <QMetaProperty>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

using Operation = std::function<void(AppBridge &)>;
Q_DECLARE_METATYPE(Operation)

namespace {
const int Baud = 115200;
const quint8 ParamRead = 0xC0;
const quint8 ParamBlockReply = 0xC1;
const quint8 CommandFrame = 0x85;
const quint8 CommandReply = 0x86;
const quint8 VersionQuery = 0x01;
// A command id the controller never uses: sent after an operation, its arrival
// proves that everything the operation sent has arrived too.
const quint8 Fence = 0x42;
const QString ParamsChangedMark = QStringLiteral("<tavoxParamsChanged>");

// Everything the bridge echoed (log entries and diagnostic lines), timestamps removed.
QStringList echoedLines(const MessageCapture &capture)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "));
    QStringList lines;
    for (QString line : capture.lines())
        lines.append(line.remove(stamp));
    return lines;
}

QByteArray fromHex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

QByteArray command(quint8 subCommand, quint32 para1 = 0, quint32 para2 = 0, quint32 para3 = 0, quint32 para4 = 0)
{
    return CommandWords { subCommand, para1, para2, para3, para4 }.toFrame();
}

QByteArray floatBytes(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((bits >> (8 * i)) & 0xFF));
    return bytes;
}

QByteArray countingPayload(int length, int first)
{
    QByteArray payload;
    for (int i = 0; i < length; ++i)
        payload.append(char(first + i));
    return payload;
}

// The start-up exchange of every open adds these; they are not the operations' messages.
bool isStartupExchangeText(const QString &entry)
{
    static const QStringList texts = { QStringLiteral("Reading parameters..."), QStringLiteral("正在读取参数..."),
                                       QStringLiteral("Querying version..."), QStringLiteral("正在查询版本号...") };
    return texts.contains(entry);
}

QString guardText(const QString &language)
{
    return language == QLatin1String("zh") ? QStringLiteral("请您先打开串口")
                                           : QStringLiteral("Please open serial port first");
}

// Every parameter property and the calibration state, by name.
QVariantMap deviceState(const AppBridge &bridge)
{
    QVariantMap state;
    const QMetaObject *meta = bridge.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QString name = QString::fromLatin1(meta->property(i).name());
        if (meta->property(i).notifySignal().name() == "tavoxParamsChanged" || name == QLatin1String("accelCaliState"))
            state.insert(name, meta->property(i).read(&bridge));
    }
    return state;
}

// Every property keeps its value unless `changes` names a new one.
void compareState(const QVariantMap &after, const QVariantMap &before, const QVariantMap &changes)
{
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QVariant expected = changes.value(it.key(), it.value());
        if (after.value(it.key()).toInt() != expected.toInt()) {
            QFAIL(qPrintable(QStringLiteral("%1 is %2, expected %3")
                                 .arg(it.key(), after.value(it.key()).toString(), expected.toString())));
        }
    }
}

struct SeenFrame
{
    ParsedFrame frame;
    qint64 atMs;
};

// A bridge with the device end of a pseudo-terminal; every frame the bridge
// sends is cut out of the device end as it arrives, with its arrival time.
class Link
{
public:
    Link(const QString &language, MessageCapture &capture)
        : m_capture(capture)
    {
        QObject::connect(&pty, &PseudoTerminal::bytesReceived, &pty, [this](const QByteArray &bytes) {
            m_pending.append(bytes);
            ParsedFrame frame;
            while (extractFrame(m_pending, frame))
                seen.append({ frame, clock.elapsed() });
        });
        // Marks the signal among the echoed lines, where its order shows.
        QObject::connect(&bridge, &AppBridge::tavoxParamsChanged, &bridge,
                         [] { qDebug().noquote() << ParamsChangedMark; });
        bridge.setLanguage(language);
        clock.start();
    }

    QList<SeenFrame> framesOf(int version, quint8 commandId) const
    {
        QList<SeenFrame> frames;
        for (const SeenFrame &seenFrame : seen) {
            if (seenFrame.frame.version == version && seenFrame.frame.commandId == commandId)
                frames.append(seenFrame);
        }
        return frames;
    }

    int count(quint8 commandId) const { return framesOf(0, commandId).size(); }

    // Command frames by sub-command, with their arrival times.
    QList<qint64> commandTimes(quint8 subCommand) const
    {
        QList<qint64> times;
        for (const SeenFrame &seenFrame : framesOf(0, CommandFrame)) {
            if (quint8(seenFrame.frame.payload.at(0)) == subCommand)
                times.append(seenFrame.atMs);
        }
        return times;
    }

    QList<qint64> readTimes() const
    {
        QList<qint64> times;
        for (const SeenFrame &seenFrame : framesOf(0, ParamRead))
            times.append(seenFrame.atMs);
        return times;
    }

    // The message log's texts in order, without the start-up exchange's own.
    QStringList entries() const
    {
        QStringList texts = messageTexts(bridge);
        texts.erase(std::remove_if(texts.begin(), texts.end(), isStartupExchangeText), texts.end());
        return texts;
    }

    void reply(quint8 commandId, const QByteArray &payload) { QVERIFY(pty.write(buildFrameV0(commandId, payload))); }

    void forget()
    {
        seen.clear();
        bridge.clearMessages();
        m_capture.clear();
    }

    PseudoTerminal pty;
    AppBridge bridge;
    QElapsedTimer clock;
    QList<SeenFrame> seen;

private:
    MessageCapture &m_capture;
    QByteArray m_pending;
};

// Like QTRY_VERIFY, but looks again every few milliseconds instead of every
// 50, which keeps the many short exchanges of this suite quick.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
    return true;
}

bool portsListed(const AppBridge &bridge)
{
    static const QStringList texts = { QStringLiteral("Serial ports refreshed"), QStringLiteral("串口已刷新"),
                                       QStringLiteral("No serial ports found"), QStringLiteral("未检测到可用串口") };
    for (const QString &text : texts) {
        if (bridge.messageLog().contains(text))
            return true;
    }
    return false;
}

// Waits for the bridge's start-up port listing, so its entry cannot land among a test's own.
void awaitPortListing(Link &link)
{
    QVERIFY(waitUntil([&] { return portsListed(link.bridge); }));
}

void openLink(Link &link)
{
    awaitPortListing(link);
    QVERIFY(link.pty.isValid());
    QVERIFY(link.bridge.openSerial(link.pty.slaveName(), Baud));
}

// Sends the fence and waits until it has crossed the line.
void awaitFence(Link &link)
{
    QVERIFY(link.bridge.sendFrame(buildFrameV0(Fence, QByteArray())));
    QVERIFY(waitUntil([&] { return link.count(Fence) == 1; }));
}

// The command frames sent before the fence, whole, in hexadecimal.
QStringList sentCommands(const Link &link)
{
    QStringList frames;
    for (const SeenFrame &seenFrame : link.seen) {
        if (seenFrame.frame.version != 0)
            continue;
        if (seenFrame.frame.commandId == Fence)
            break;
        if (seenFrame.frame.commandId == CommandFrame)
            frames.append(toHexText(buildFrameV0(CommandFrame, seenFrame.frame.payload)));
    }
    return frames;
}

QStringList hexTexts(const QList<QByteArray> &frames)
{
    QStringList texts;
    for (const QByteArray &frame : frames)
        texts.append(toHexText(frame));
    return texts;
}

// What the bridge echoed, without the start-up exchange that may interleave.
QStringList echoedOwn(const MessageCapture &capture)
{
    static const QStringList startupFrames = {
        QStringLiteral("[DIAG-HEX] TX(7B): ") + toHexText(buildFrameV0(ParamRead, QByteArray())),
        QStringLiteral("[DIAG-HEX] TX(13B): ") + toHexText(buildFrameV1(0, VersionQuery, QByteArray())),
    };
    QStringList lines;
    for (const QString &line : echoedLines(capture)) {
        if (!isStartupExchangeText(line) && !startupFrames.contains(line))
            lines.append(line);
    }
    return lines;
}

void near(qint64 actualMs, qint64 expectedMs, const char *what)
{
    // Qt's coarse timers may fire up to 5 % early; a loaded machine makes them late.
    const bool inRange = actualMs >= expectedMs * 95 / 100 - 20 && actualMs <= expectedMs + 900;
    QVERIFY2(inRange, qPrintable(QStringLiteral("%1 at +%2 ms, expected about +%3 ms")
                                     .arg(QLatin1String(what)).arg(actualMs).arg(expectedMs)));
}
}

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusedWhileClosed_data();
    void refusedWhileClosed();
    void operations_data();
    void operations();
    void crsfWriteDiagnostic();
    void messageLogNotifiesLater();
    void messagesInOrder_data();
    void messagesInOrder();

    void parameterBlocks_data();
    void parameterBlocks();
    void crsfKeptAfterDirectionWrite();

    void acknowledgements_data();
    void acknowledgements();
    void accelProgressSequence();

    void timedSequences();

private:
    std::unique_ptr<MessageCapture> m_capture;
};

// QtTest puts in its own message handler when it starts, so each test puts
// in the capture anew.
void TestCommands::init()
{
    m_capture = std::make_unique<MessageCapture>();
}

void TestCommands::cleanup()
{
    m_capture.reset();
}

void TestCommands::refusedWhileClosed_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Operation>("operation");

    const QList<QPair<const char *, Operation>> operations = {
        { "read parameters", [](AppBridge &b) { b.tavoxReadParams(); } },
        { "SBUS channels", [](AppBridge &b) { b.tavoxWriteSbusChannels(1, 2, 3, 4, 5, 6); } },
        { "PWM channels", [](AppBridge &b) { b.tavoxWritePwmChannels(1, 2, 3, 4, 5, 6); } },
        { "CRSF channels", [](AppBridge &b) { b.tavoxWriteCrsfChannels(1, 2, 3, 4, 5, 6); } },
        { "SBUS channels with directions",
          [](AppBridge &b) { b.tavoxWriteSbusChannelsWithDir(1, 2, 3, 4, 5, 6, 1, 1, 1); } },
        { "PWM channels with directions", [](AppBridge &b) { b.tavoxWritePwmChannelsWithDir(1, 2, 3, 4, 5, 1, 1); } },
        { "CRSF channels with directions",
          [](AppBridge &b) { b.tavoxWriteCrsfChannelsWithDir(1, 2, 3, 4, 5, 6, 1, 1, 1); } },
        { "SBUS directions", [](AppBridge &b) { b.tavoxWriteSbusDirections(1, 1, 1); } },
        { "PWM directions", [](AppBridge &b) { b.tavoxWritePwmDirections(1, 1); } },
        { "CRSF directions", [](AppBridge &b) { b.tavoxWriteCrsfDirections(1, 1, 1); } },
        { "SBUS photo/video", [](AppBridge &b) { b.tavoxSendSbusPhotoVideo(5, 6); } },
        { "gimbal configuration", [](AppBridge &b) { b.tavoxWriteGimbalConfig(1, 10, 20, 30); } },
        { "camera position", [](AppBridge &b) { b.tavoxWriteCameraPosition(0); } },
        { "torque", [](AppBridge &b) { b.tavoxWriteTorque(100, 200, 300); } },
        { "calibration", [](AppBridge &b) { b.tavoxSendCalibration(2); } },
        { "calibration, unknown type", [](AppBridge &b) { b.tavoxSendCalibration(6); } },
        { "motor torque", [](AppBridge &b) { b.tavoxSendMotorTorque(1, 0); } },
        { "motor hall calibration", [](AppBridge &b) { b.tavoxSendMotorHallCalib(0); } },
        { "electrical angle", [](AppBridge &b) { b.tavoxSendElecAngleCalib(1, true); } },
        { "hall data", [](AppBridge &b) { b.tavoxSendHallDataSelect(true); } },
        { "linearisation", [](AppBridge &b) { b.tavoxSendLinearCalib(); } },
        { "gyro bias", [](AppBridge &b) { b.tavoxSendGyroBiasUpdate(); } },
    };
    for (const QString &language : { QStringLiteral("en"), QStringLiteral("zh") }) {
        for (const auto &operation : operations)
            QTest::addRow("%s/%s", operation.first, qPrintable(language)) << language << operation.second;
    }
}

void TestCommands::refusedWhileClosed()
{
    QFETCH(QString, language);
    QFETCH(Operation, operation);
    Link link(language, *m_capture);
    awaitPortListing(link);
    link.forget();
    const QVariantMap before = deviceState(link.bridge);
    QSignalSpy paramsChanged(&link.bridge, &AppBridge::tavoxParamsChanged);

    operation(link.bridge);

    QCOMPARE(link.entries(), QStringList { guardText(language) });
    QCOMPARE(paramsChanged.count(), 0);
    compareState(deviceState(link.bridge), before, {});
    QVERIFY(echoedLines(*m_capture).filter(QStringLiteral("[DIAG-")).isEmpty());
}

void TestCommands::operations_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QVariantMap>("changes");
    QTest::addColumn<QStringList>("messages");

    struct Row
    {
        const char *name;
        Operation operation;
        QList<QByteArray> frames;
        QVariantMap changes;
        QStringList en;
        QStringList zh;
    };
    const QList<Row> rows = {
        { "SBUS channels with directions",
          [](AppBridge &b) { b.tavoxWriteSbusChannelsWithDir(1, 2, 3, 4, 5, 6, 1, 0, 1); },
          { fromHex("AA 18 00 C2 85 A0 01 80 00 00 03 80 00 00 05 00 04 00 06 00 02 00 68 14") },
          { { "tavoxSbusPitchCh", 1 }, { "tavoxSbusRollCh", 2 }, { "tavoxSbusYawCh", 3 }, { "tavoxSbusCenterCh", 4 },
            { "tavoxSbusLockCh", 5 }, { "tavoxSbusMode", 6 }, { "tavoxSbusPitchDir", 1 }, { "tavoxSbusYawDir", 1 } },
          { "SBUS channels written" },
          { "SBUS通道配置已写入" } },
        { "SBUS channels keep the stored directions",
          [](AppBridge &b) {
              b.tavoxWriteSbusDirections(1, 1, 0);
              b.tavoxWriteSbusChannels(9, 8, 7, 6, 5, 0);
          },
          { command(0xA0, 0x8001, 0x0001, 0x10001, 0x80010001), command(0xA0, 0x8009, 7, 0x60005, 0x80080000) },
          { { "tavoxSbusPitchCh", 9 }, { "tavoxSbusRollCh", 8 }, { "tavoxSbusYawCh", 7 }, { "tavoxSbusCenterCh", 6 },
            { "tavoxSbusLockCh", 5 }, { "tavoxSbusMode", 0 }, { "tavoxSbusPitchDir", 1 }, { "tavoxSbusRollDir", 1 } },
          { "SBUS directions written", "SBUS channels written" },
          { "SBUS方向已写入", "SBUS通道配置已写入" } },
        { "SBUS channels stored modulo 256",
          [](AppBridge &b) { b.tavoxWriteSbusChannelsWithDir(0x8101, 2, 3, 4, 5, 6, 2, 3, 0); },
          { command(0xA0, 0x0101, 3, 0x40005, 0x80020006) },
          { { "tavoxSbusPitchCh", 1 }, { "tavoxSbusRollCh", 2 }, { "tavoxSbusYawCh", 3 }, { "tavoxSbusCenterCh", 4 },
            { "tavoxSbusLockCh", 5 }, { "tavoxSbusMode", 6 }, { "tavoxSbusRollDir", 1 } },
          { "SBUS channels written" },
          { "SBUS通道配置已写入" } },
        { "PWM channels with directions",
          [](AppBridge &b) { b.tavoxWritePwmChannelsWithDir(7, 8, 9, 300, 0, 1, 3); },
          { command(0xA1, 0x8007, 0x8008, 9, 300u << 16) },
          { { "tavoxPwmPitchCh", 7 }, { "tavoxPwmYawCh", 8 }, { "tavoxPwmCenterCh", 9 }, { "tavoxPwmLockCh", 300 },
            { "tavoxPwmMode", 0 }, { "tavoxPwmPitchDir", 1 }, { "tavoxPwmYawDir", 1 } },
          { "PWM channels written" },
          { "PWM通道配置已写入" } },
        { "PWM channels ignore roll",
          [](AppBridge &b) {
              b.tavoxWritePwmChannels(1, 2, 3, 4, 5, 6);
              b.tavoxWritePwmChannels(1, 9, 3, 4, 5, 6);
          },
          { command(0xA1, 1, 3, 4, 0x50006), command(0xA1, 1, 3, 4, 0x50006) },
          { { "tavoxPwmYawCh", 3 }, { "tavoxPwmCenterCh", 4 }, { "tavoxPwmLockCh", 5 }, { "tavoxPwmMode", 6 } },
          { "PWM channels written", "PWM channels written" },
          { "PWM通道配置已写入", "PWM通道配置已写入" } },
        { "CRSF channels with directions",
          [](AppBridge &b) { b.tavoxWriteCrsfChannelsWithDir(11, 12, 13, 14, 15, 0, 1, 1, 0); },
          { command(0xA7, 0x800B, 13, 0xE000F, 0x800C0000) },
          { { "tavoxCrsfPitchCh", 11 }, { "tavoxCrsfRollCh", 12 }, { "tavoxCrsfYawCh", 13 }, { "tavoxCrsfCenterCh", 14 },
            { "tavoxCrsfLockCh", 15 }, { "tavoxCrsfMode", 0 }, { "tavoxCrsfPitchDir", 1 }, { "tavoxCrsfRollDir", 1 } },
          { "CRSF channels written" },
          { "CRSF通道配置已写入" } },
        { "CRSF channels keep the stored directions",
          [](AppBridge &b) { b.tavoxWriteCrsfChannels(2, 3, 4, 5, 6, 0); },
          { command(0xA7, 2, 4, 0x50006, 0x30000) },
          { { "tavoxCrsfPitchCh", 2 }, { "tavoxCrsfRollCh", 3 }, { "tavoxCrsfYawCh", 4 }, { "tavoxCrsfCenterCh", 5 },
            { "tavoxCrsfLockCh", 6 }, { "tavoxCrsfMode", 0 } },
          { "CRSF channels written" },
          { "CRSF通道配置已写入" } },
        { "SBUS directions over the stored channels",
          [](AppBridge &b) { b.tavoxWriteSbusDirections(2, 3, 1); },
          { command(0xA0, 0x0001, 0x8001, 0x10001, 0x80010001) },
          { { "tavoxSbusRollDir", 1 }, { "tavoxSbusYawDir", 1 } },
          { "SBUS directions written" },
          { "SBUS方向已写入" } },
        { "PWM directions over the stored channels",
          [](AppBridge &b) { b.tavoxWritePwmDirections(1, 0); },
          { command(0xA1, 0x8001, 0x0001, 1, 1) },
          { { "tavoxPwmPitchDir", 1 } },
          { "PWM directions written" },
          { "PWM方向已写入" } },
        { "CRSF directions over the stored channels",
          [](AppBridge &b) { b.tavoxWriteCrsfDirections(1, 0, 1); },
          { command(0xA7, 0x8001, 0x8001, 0x10001, 0x00010001) },
          { { "tavoxCrsfPitchDir", 1 }, { "tavoxCrsfYawDir", 1 } },
          { "CRSF directions written" },
          { "CRSF方向已写入" } },
        { "SBUS photo/video",
          [](AppBridge &b) { b.tavoxSendSbusPhotoVideo(5, 6); },
          { command(0xA6, 5, 6) },
          { { "tavoxSbusPhotoCh", 5 }, { "tavoxSbusVideoCh", 6 } },
          { "SBUS photo/video channels written" },
          { "SBUS拍照/录像通道已写入" } },
        { "gimbal configuration",
          [](AppBridge &b) { b.tavoxWriteGimbalConfig(1, 10, 20, 30); },
          { command(0xA3, 10, 30, 20), command(0xA4, 1) },
          { { "tavoxFpvMode", 1 }, { "tavoxPitchMaxSpeed", 10 }, { "tavoxRollMaxSpeed", 20 }, { "tavoxYawMaxSpeed", 30 } },
          { "Gimbal config written" },
          { "云台配置已写入" } },
        { "camera position",
          [](AppBridge &b) { b.tavoxWriteCameraPosition(2); },
          { fromHex("AA 18 00 C2 85 A2 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 64 70") },
          { { "tavoxCameraPosition", 2 } },
          { "Camera setting written" },
          { "相机设置已写入" } },
        { "torque",
          [](AppBridge &b) { b.tavoxWriteTorque(100, 200, 300); },
          { command(0xA5, 300, 200, 100) },
          { { "tavoxPitchMaxTorque", 100 }, { "tavoxRollMaxTorque", 200 }, { "tavoxYawMaxTorque", 300 } },
          { "Torque settings written" },
          { "力矩设置已写入" } },
        { "torque beyond 16 bits",
          [](AppBridge &b) { b.tavoxWriteTorque(70000, 0, 0); },
          { command(0xA5, 0, 0, 70000) },
          { { "tavoxPitchMaxTorque", 4464 } },
          { "Torque settings written" },
          { "力矩设置已写入" } },
        { "stop motors", [](AppBridge &b) { b.tavoxSendCalibration(0); }, { command(0x9C) }, {}, {}, {} },
        { "hall calibration", [](AppBridge &b) { b.tavoxSendCalibration(1); }, { command(0x8D) }, {}, {}, {} },
        { "accelerometer calibration", [](AppBridge &b) { b.tavoxSendCalibration(2); }, { command(0x8F) }, {}, {}, {} },
        { "activate", [](AppBridge &b) { b.tavoxSendCalibration(3); }, { command(0x90) }, {}, {}, {} },
        { "reboot", [](AppBridge &b) { b.tavoxSendCalibration(4); }, { command(0x91) }, {}, {}, {} },
        { "zero point", [](AppBridge &b) { b.tavoxSendCalibration(5); }, { command(0x8E) }, {}, {}, {} },
        { "calibration 6", [](AppBridge &b) { b.tavoxSendCalibration(6); }, {}, {}, {}, {} },
        { "calibration -1", [](AppBridge &b) { b.tavoxSendCalibration(-1); }, {}, {}, {}, {} },
        { "middle motor forward",
          [](AppBridge &b) { b.tavoxSendMotorTorque(1, 0); },
          { command(0x85) },
          {},
          { "Motor: Middle Fwd torque" },
          { "电机控制: 中框架 正向力矩" } },
        { "outer motor reverse",
          [](AppBridge &b) { b.tavoxSendMotorTorque(0, 1); },
          { command(0x82) },
          {},
          { "Motor: Outter Rev torque" },
          { "电机控制: 外框架 反向力矩" } },
        { "inner motor, direction 7 clears",
          [](AppBridge &b) { b.tavoxSendMotorTorque(2, 7); },
          { command(0x8B) },
          {},
          { "Motor: Inner Torque clear" },
          { "电机控制: 内框架 力矩清零" } },
        { "motor 3", [](AppBridge &b) { b.tavoxSendMotorTorque(3, 0); }, {}, {}, {}, {} },
        { "inner hall calibration",
          [](AppBridge &b) { b.tavoxSendMotorHallCalib(2); },
          { command(0x8C) },
          {},
          { "Motor hall calibration sent" },
          { "单电机霍尔校准指令已发送" } },
        { "hall calibration of motor 3", [](AppBridge &b) { b.tavoxSendMotorHallCalib(3); }, {}, {}, {}, {} },
        { "middle electrical angle end",
          [](AppBridge &b) { b.tavoxSendElecAngleCalib(1, false); },
          { command(0x95) },
          {},
          { "Elec angle calib end" },
          { "电角度校准结束" } },
        { "outer electrical angle start",
          [](AppBridge &b) { b.tavoxSendElecAngleCalib(0, true); },
          { command(0x92) },
          {},
          { "Elec angle calib start" },
          { "电角度校准开始" } },
        { "electrical angle of motor 5", [](AppBridge &b) { b.tavoxSendElecAngleCalib(5, true); }, {}, {}, {}, {} },
        { "user hall data",
          [](AppBridge &b) { b.tavoxSendHallDataSelect(true); },
          { command(0x98) },
          {},
          { "Switched to user hall data" },
          { "已切换为用户校准霍尔数据" } },
        { "default hall data",
          [](AppBridge &b) { b.tavoxSendHallDataSelect(false); },
          { command(0x99) },
          {},
          { "Switched to default hall data" },
          { "已切换为默认霍尔数据" } },
        { "linearisation",
          [](AppBridge &b) { b.tavoxSendLinearCalib(); },
          { command(0x9B) },
          {},
          { "Motor linearization calibration sent" },
          { "电机线性化校准已发送" } },
        { "gyro bias",
          [](AppBridge &b) { b.tavoxSendGyroBiasUpdate(); },
          { command(0x9D) },
          {},
          { "Gyro bias update sent" },
          { "陀螺仪偏置更新指令已发送" } },
    };
    for (const Row &row : rows) {
        QTest::addRow("%s/en", row.name) << QStringLiteral("en") << row.operation << row.frames << row.changes << row.en;
        QTest::addRow("%s/zh", row.name) << QStringLiteral("zh") << row.operation << row.frames << row.changes << row.zh;
    }
}

void TestCommands::operations()
{
    QFETCH(QString, language);
    QFETCH(Operation, operation);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QVariantMap, changes);
    QFETCH(QStringList, messages);

    Link link(language, *m_capture);
    openLink(link);
    link.forget();
    const QVariantMap before = deviceState(link.bridge);

    // Everything but the bytes on the wire happens before the operation returns.
    operation(link.bridge);
    const QStringList entries = link.entries();
    const QVariantMap after = deviceState(link.bridge);
    const int paramsChanged = echoedLines(*m_capture).count(ParamsChangedMark);
    awaitFence(link);

    QCOMPARE(sentCommands(link), hexTexts(frames));
    QCOMPARE(entries, messages);
    compareState(after, before, changes);
    // Each reported write signals once; commands that store nothing never do.
    QCOMPARE(paramsChanged, changes.isEmpty() ? 0 : messages.size());
}

void TestCommands::crsfWriteDiagnostic()
{
    Link link(QStringLiteral("en"), *m_capture);
    openLink(link);
    link.forget();

    link.bridge.tavoxWriteCrsfChannelsWithDir(300, 2, 3, 4, 5, 6, 3, 2, 1);
    const QStringList lines = echoedLines(*m_capture);

    const QStringList expected = {
        QStringLiteral("[DIAG-HEX] TX(24B): ") + toHexText(command(0xA7, 0x812C, 0x8003, 0x40005, 0x20006)),
        ParamsChangedMark,
        QStringLiteral("[DIAG-TX] 0xA7 写入 crsfPitch=300 roll=2 yaw=3 center=4 lock=5 mode=6 pDir=1 rDir=0 yDir=1 | "
                       "para1=0x0000812c para2=0x00008003 para3=0x00040005 para4=0x00020006"),
        QStringLiteral("CRSF channels written"),
    };
    QCOMPARE(lines, expected);
}

void TestCommands::messageLogNotifiesLater()
{
    Link link(QStringLiteral("en"), *m_capture);
    openLink(link);
    QSignalSpy logChanged(&link.bridge, &AppBridge::messageLogChanged);
    link.forget();
    // Lets every notification still pending from the open arrive.
    QTRY_VERIFY(logChanged.count() >= 1);
    logChanged.clear();

    link.bridge.tavoxSendLinearCalib();

    QCOMPARE(link.entries(), QStringList { QStringLiteral("Motor linearization calibration sent") });
    QCOMPARE(logChanged.count(), 0);
    QTRY_COMPARE(logChanged.count(), 1);
}

void TestCommands::messagesInOrder_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("en") << QStringLiteral("en")
                        << QStringList { "Camera setting written", "Camera Position succeeded",
                                         "Motor: Outter Fwd torque", "Outter Fwd Torque succeeded",
                                         "Accel Calib: UP", "Reboot succeeded" };
    QTest::newRow("zh") << QStringLiteral("zh")
                        << QStringList { "相机设置已写入", "相机位置指令成功", "电机控制: 外框架 正向力矩",
                                         "外框架正向力矩指令成功", "加速度计校准: 正放(UP)", "重启指令成功" };
}

void TestCommands::messagesInOrder()
{
    QFETCH(QString, language);
    Link link(language, *m_capture);
    openLink(link);
    link.forget();

    link.bridge.tavoxWriteCameraPosition(1);
    link.reply(CommandReply, fromHex("A2"));
    QTRY_COMPARE(link.entries().size(), 2);
    link.bridge.tavoxSendMotorTorque(0, 0);
    link.reply(CommandReply, fromHex("81"));
    link.reply(CommandReply, fromHex("8F") + floatBytes(1.0f));
    link.reply(CommandReply, fromHex("91"));
    QTRY_COMPARE(link.entries().size(), 6);
    QTEST(link.entries(), "expected");
}

void TestCommands::parameterBlocks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QVariantMap>("changes");
    QTest::addColumn<QStringList>("diagnostics");

    QByteArray base = countingPayload(22, 2);
    base[15] = char(200); // PWM lock
    base[16] = char(0xE8);
    base[17] = char(0x03);
    const QVariantMap baseChanges = {
        { "tavoxSbusPitchCh", 2 },     { "tavoxSbusYawCh", 3 },       { "tavoxSbusCenterCh", 4 },
        { "tavoxSbusMode", 5 },        { "tavoxPwmPitchCh", 6 },      { "tavoxPwmYawCh", 7 },
        { "tavoxPwmCenterCh", 8 },     { "tavoxPwmMode", 9 },         { "tavoxCameraPosition", 10 },
        { "tavoxPitchMaxSpeed", 11 },  { "tavoxYawMaxSpeed", 12 },    { "tavoxFpvMode", 13 },
        { "tavoxSbusRollCh", 14 },     { "tavoxRollMaxSpeed", 15 },   { "tavoxSbusLockCh", 16 },
        { "tavoxPwmLockCh", 200 },     { "tavoxYawMaxTorque", 1000 }, { "tavoxRollMaxTorque", 0x1514 },
        { "tavoxPitchMaxTorque", 0x1716 }, { "tavoxPwmRollCh", 6 },
    };
    const QString rawBase = QStringLiteral("[DIAG-HEX] 0xC1 raw data(22B): ") + toHexText(base);
    const QString merge = QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=1 (规避被冲回默认)");

    QVariantMap photoVideoChanges = baseChanges;
    photoVideoChanges.insert({ { "tavoxSbusPhotoCh", 5 }, { "tavoxSbusVideoCh", 6 }, { "tavoxSbusPitchDir", 1 },
                               { "tavoxPwmYawDir", 1 } });
    const QByteArray photoVideo = base + fromHex("05 06 01 00 00 00 01");

    QVariantMap crsfChanges = baseChanges;
    crsfChanges.insert({ { "tavoxSbusPitchDir", 1 }, { "tavoxCrsfPitchCh", 9 }, { "tavoxCrsfRollCh", 8 },
                         { "tavoxCrsfYawCh", 7 }, { "tavoxCrsfCenterCh", 6 }, { "tavoxCrsfLockCh", 5 },
                         { "tavoxCrsfMode", 0 }, { "tavoxCrsfRollDir", 1 } });
    const QByteArray crsf = base + fromHex("01 00 00 00 00 09 08 07 06 05 00 00 01 00");

    for (const QString &language : { QStringLiteral("en"), QStringLiteral("zh") }) {
        const QByteArray tag = language.toLatin1();
        QTest::addRow("21 bytes/%s", tag.constData()) << language << base.left(21) << QVariantMap() << QStringList();
        QTest::addRow("22 bytes/%s", tag.constData())
            << language << base << baseChanges
            << QStringList { rawBase,
                             "[DIAG-RX] 0xC1 dataLen=22 crsfPresent=NO photoVideoPresent=NO | crsfPitch=1 roll=1 "
                             "yaw=1 center=1 lock=1 mode=1 pDir=0 rDir=0 yDir=0",
                             merge };
        QTest::addRow("29 bytes/%s", tag.constData())
            << language << photoVideo << photoVideoChanges
            << QStringList { "[DIAG-HEX] 0xC1 raw data(29B): " + toHexText(photoVideo),
                             "[DIAG-RX] 0xC1 dataLen=29 crsfPresent=NO photoVideoPresent=YES | crsfPitch=1 roll=1 "
                             "yaw=1 center=1 lock=1 mode=1 pDir=0 rDir=0 yDir=0",
                             merge };
        QTest::addRow("36 bytes/%s", tag.constData())
            << language << crsf << crsfChanges
            << QStringList { "[DIAG-HEX] 0xC1 raw data(36B): " + toHexText(crsf),
                             "[DIAG-RX] 0xC1 dataLen=36 crsfPresent=YES photoVideoPresent=NO | crsfPitch=9 roll=8 "
                             "yaw=7 center=6 lock=5 mode=0 pDir=0 rDir=1 yDir=0" };
        QTest::addRow("40 bytes/%s", tag.constData())
            << language << crsf + fromHex("11 12 13 14") << crsfChanges
            << QStringList { "[DIAG-HEX] 0xC1 raw data(40B): " + toHexText(crsf + fromHex("11 12 13 14")),
                             "[DIAG-RX] 0xC1 dataLen=40 crsfPresent=YES photoVideoPresent=NO | crsfPitch=9 roll=8 "
                             "yaw=7 center=6 lock=5 mode=0 pDir=0 rDir=1 yDir=0" };
    }
}

void TestCommands::parameterBlocks()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, payload);
    QFETCH(QVariantMap, changes);
    QFETCH(QStringList, diagnostics);

    Link link(language, *m_capture);
    openLink(link);
    link.forget();
    const QVariantMap before = deviceState(link.bridge);

    link.reply(ParamBlockReply, payload);
    // A reply the bridge always reports comes after it, so once that is in
    // the log the block has been handled.
    link.reply(CommandReply, fromHex("91"));
    const QString rebootReply = language == QLatin1String("zh") ? QStringLiteral("重启指令成功")
                                                               : QStringLiteral("Reboot succeeded");
    QVERIFY(waitUntil([&] { return link.entries().contains(rebootReply); }));

    compareState(deviceState(link.bridge), before, changes);
    QStringList expected = diagnostics;
    if (!diagnostics.isEmpty()) {
        expected << ParamsChangedMark
                 << (language == QLatin1String("zh") ? QStringLiteral("参数读取成功") : QStringLiteral("Parameters read OK"));
    }
    expected << rebootReply;
    QCOMPARE(echoedOwn(*m_capture), expected);
}

void TestCommands::crsfKeptAfterDirectionWrite()
{
    Link link(QStringLiteral("en"), *m_capture);
    openLink(link);
    link.bridge.tavoxWriteCrsfDirections(0, 1, 1);
    link.bridge.tavoxSendSbusPhotoVideo(3, 4);
    link.bridge.tavoxWriteSbusDirections(1, 1, 1);
    awaitFence(link);
    link.forget();

    link.reply(ParamBlockReply, countingPayload(22, 2));
    QTRY_COMPARE(link.entries(), QStringList { QStringLiteral("Parameters read OK") });

    QCOMPARE(link.bridge.tavoxCrsfPitchDir(), 0);
    QCOMPARE(link.bridge.tavoxCrsfRollDir(), 1);
    QCOMPARE(link.bridge.tavoxCrsfYawDir(), 1);
    QCOMPARE(link.bridge.tavoxSbusPhotoCh(), 3);
    QCOMPARE(link.bridge.tavoxSbusVideoCh(), 4);
    // Directions are not kept: a block without an extension reports them as 0.
    QCOMPARE(link.bridge.tavoxSbusPitchDir(), 0);
    QVERIFY(echoedLines(*m_capture).contains(
        QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=1 (规避被冲回默认)")));

    // A direction write right after the read sends the channels of the read unchanged.
    link.bridge.tavoxWriteSbusDirections(1, 0, 1);
    awaitFence(link);
    QCOMPARE(sentCommands(link), hexTexts({ command(0xA0, 0x8002, 0x8003, (4u << 16) | 16u, (14u << 16) | 5u) }));
}

void TestCommands::acknowledgements_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("accelCaliState");

    struct Row
    {
        const char *name;
        QByteArray payload;
        QStringList en;
        QStringList zh;
        int state;
    };
    const int unset = -1;
    const QList<Row> rows = {
        { "90", fromHex("90"), { "Activate succeeded" }, { "激活指令成功" }, unset },
        { "8F alone", fromHex("8F"), { "Accel Calib succeeded" }, { "加速度计校准指令成功" }, unset },
        { "8F with four bytes of a float", fromHex("8F 00 00 80"), { "Accel Calib succeeded" },
          { "加速度计校准指令成功" }, unset },
        { "8F and 2.6", fromHex("8F") + floatBytes(2.6f), { "Accel Calib: DOWN" }, { "加速度计校准: 倒放(DOWN)" }, 3 },
        { "8F and 7.9", fromHex("8F") + floatBytes(7.9f), { "Accel Calib succeeded" }, { "加速度计校准成功" }, 8 },
        { "8F and -0.7", fromHex("8F") + floatBytes(-0.7f), {}, {}, 0 },
        { "8F and NaN", fromHex("8F 00 00 C0 7F"), {}, {}, std::numeric_limits<int>::min() },
        { "8F and 1e10", fromHex("8F") + floatBytes(1e10f), {}, {}, std::numeric_limits<int>::min() },
        { "A7 00 00", fromHex("A7 00 00"), { "CRSF Channel succeeded" }, { "CRSF通道配置指令成功" }, unset },
        { "A0", fromHex("A0"), { "SBUS Channel succeeded" }, { "SBUS通道配置指令成功" }, unset },
        { "80", fromHex("80"), { "Module Disable succeeded" }, { "模块禁用指令成功" }, unset },
        { "9A", fromHex("9A"), {}, {}, unset },
        { "9E", fromHex("9E"), {}, {}, unset },
        { "9F", fromHex("9F"), {}, {}, unset },
        { "7F", fromHex("7F"), {}, {}, unset },
        { "A8", fromHex("A8"), {}, {}, unset },
        { "empty", QByteArray(), {}, {}, unset },
    };
    for (const Row &row : rows) {
        QTest::addRow("%s/en", row.name) << QStringLiteral("en") << row.payload << row.en << row.state;
        QTest::addRow("%s/zh", row.name) << QStringLiteral("zh") << row.payload << row.zh << row.state;
    }
}

void TestCommands::acknowledgements()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, messages);
    QFETCH(int, accelCaliState);

    Link link(language, *m_capture);
    openLink(link);
    link.forget();
    QSignalSpy stateChanged(&link.bridge, &AppBridge::accelCaliStateChanged);
    const QVariantMap before = deviceState(link.bridge);

    link.reply(CommandReply, payload);
    link.reply(CommandReply, fromHex("91"));
    const QString rebootReply = language == QLatin1String("zh") ? QStringLiteral("重启指令成功")
                                                               : QStringLiteral("Reboot succeeded");
    QVERIFY(waitUntil([&] { return link.entries().contains(rebootReply); }));

    QCOMPARE(link.entries(), messages + QStringList { rebootReply });
    QCOMPARE(link.bridge.accelCaliState(), accelCaliState);
    QCOMPARE(stateChanged.count(), accelCaliState == -1 ? 0 : 1);
    compareState(deviceState(link.bridge), before, { { "accelCaliState", accelCaliState } });
    QVERIFY(echoedOwn(*m_capture).filter(QStringLiteral("[DIAG-")).isEmpty());
}

void TestCommands::accelProgressSequence()
{
    Link link(QStringLiteral("en"), *m_capture);
    openLink(link);
    link.forget();
    QSignalSpy stateChanged(&link.bridge, &AppBridge::accelCaliStateChanged);

    link.reply(CommandReply, fromHex("8F") + floatBytes(2.6f));
    link.reply(CommandReply, fromHex("8F") + floatBytes(3.2f));
    link.reply(CommandReply, fromHex("91"));
    QTRY_COMPARE(link.entries().size(), 2);
    QCOMPARE(link.entries(), (QStringList { "Accel Calib: DOWN", "Reboot succeeded" }));
    QCOMPARE(stateChanged.count(), 1);
    QCOMPARE(link.bridge.accelCaliState(), 3);

    // The state is kept across a close and a reopen.
    link.bridge.closeSerial();
    QVERIFY(link.bridge.openSerial(link.pty.slaveName(), Baud));
    link.forget();
    link.reply(CommandReply, fromHex("8F") + floatBytes(3.0f));
    link.reply(CommandReply, fromHex("8F") + floatBytes(-0.7f));
    link.reply(CommandReply, fromHex("91"));
    QTRY_COMPARE(link.entries(), QStringList { "Reboot succeeded" });
    QCOMPARE(stateChanged.count(), 2);
    QCOMPARE(link.bridge.accelCaliState(), 0);
}

// All sequences run side by side, each on its own link, so the suite waits
// for the longest one only.
void TestCommands::timedSequences()
{
    Link sbus(QStringLiteral("en"), *m_capture);         // one channel write
    Link twice(QStringLiteral("zh"), *m_capture);        // two channel writes 100 ms apart
    Link torque(QStringLiteral("zh"), *m_capture);       // torque write
    Link noActivate(QStringLiteral("en"), *m_capture);   // port closed over the Activate, open again for the Reboot
    Link noReboot(QStringLiteral("en"), *m_capture);     // port closed over the Reboot
    Link *links[] = { &sbus, &twice, &torque, &noActivate, &noReboot };
    for (Link *link : links)
        openLink(*link);
    for (Link *link : links)
        QTRY_VERIFY(link->count(ParamRead) == 1 && link->framesOf(1, VersionQuery).size() == 1);
    for (Link *link : links)
        link->forget();

    const qint64 start = sbus.clock.elapsed();
    const auto writeSbus = [](Link &link) { link.bridge.tavoxWriteSbusChannelsWithDir(1, 2, 3, 4, 5, 6, 1, 0, 1); };
    writeSbus(sbus);
    writeSbus(twice);
    writeSbus(noActivate);
    writeSbus(noReboot);
    torque.bridge.tavoxWriteTorque(100, 200, 300);
    QTimer::singleShot(100, &twice.bridge, [&] { writeSbus(twice); });
    QTimer::singleShot(200, &noActivate.bridge, [&] { noActivate.bridge.closeSerial(); });
    QTimer::singleShot(700, &noActivate.bridge, [&] {
        QVERIFY(noActivate.bridge.openSerial(noActivate.pty.slaveName(), Baud));
    });
    QTimer::singleShot(700, &noReboot.bridge, [&] { noReboot.bridge.closeSerial(); });

    QTRY_VERIFY_WITH_TIMEOUT(sbus.count(ParamRead) == 2 && twice.count(ParamRead) == 4
                                 && noActivate.readTimes().size() == 3,
                             12000);
    const qint64 end = sbus.clock.elapsed();

    // One write: Activate, Reboot, two reads, all timed from the write.
    QCOMPARE(sbus.commandTimes(0xA0).size(), 1);
    QCOMPARE(sbus.commandTimes(0x90).size(), 1);
    QCOMPARE(sbus.commandTimes(0x91).size(), 1);
    near(sbus.commandTimes(0x90).first() - start, 500, "Activate");
    near(sbus.commandTimes(0x91).first() - start, 1000, "Reboot");
    near(sbus.readTimes().at(0) - start, 4000, "first read");
    near(sbus.readTimes().at(1) - start, 7000, "second read");
    QCOMPARE(sbus.entries(), (QStringList { "SBUS channels written", "Auto-activated", "Config applied, rebooting..." }));
    QCOMPARE(sbus.bridge.messageLog().count(QStringLiteral("Reading parameters...")), 2);

    // Two writes: two whole sequences.
    QCOMPARE(twice.commandTimes(0xA0).size(), 2);
    QCOMPARE(twice.commandTimes(0x90).size(), 2);
    QCOMPARE(twice.commandTimes(0x91).size(), 2);
    near(twice.commandTimes(0x91).at(1) - start, 1100, "second Reboot");
    near(twice.readTimes().at(3) - start, 7100, "last read");
    QCOMPARE(twice.entries(), (QStringList { "SBUS通道配置已写入", "SBUS通道配置已写入", "已自动激活", "已自动激活",
                                             "配置生效，设备重启中...", "配置生效，设备重启中..." }));

    // Torque: one Reboot half a second later, no Activate, no reads.
    QCOMPARE(torque.commandTimes(0xA5).size(), 1);
    QCOMPARE(torque.commandTimes(0x91).size(), 1);
    near(torque.commandTimes(0x91).first() - start, 500, "torque Reboot");
    QCOMPARE(torque.seen.size(), 2);
    QCOMPARE(torque.entries(), (QStringList { "力矩设置已写入", "力矩生效，设备重启中..." }));

    // A refused Activate still leads to the Reboot and the reads.
    QCOMPARE(noActivate.commandTimes(0x90).size(), 0);
    QCOMPARE(noActivate.commandTimes(0x91).size(), 1);
    near(noActivate.commandTimes(0x91).first() - start, 1000, "Reboot after refused Activate");
    near(noActivate.readTimes().last() - start, 7000, "read after refused Activate");
    QVERIFY(noActivate.entries().contains(QStringLiteral("Please open serial port first")));
    QVERIFY(!noActivate.entries().contains(QStringLiteral("Auto-activated")));
    QVERIFY(noActivate.entries().contains(QStringLiteral("Config applied, rebooting...")));

    // A refused Reboot ends the sequence: no reads follow.
    QVERIFY(end - start > 6500);
    QCOMPARE(noReboot.commandTimes(0x90).size(), 1);
    QCOMPARE(noReboot.commandTimes(0x91).size(), 0);
    QCOMPARE(noReboot.count(ParamRead), 0);
    QCOMPARE(noReboot.entries().count(QStringLiteral("Please open serial port first")), 1);
    QCOMPARE(noReboot.entries().last(), QStringLiteral("Please open serial port first"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
