// Heartbeat decoding, the version-1 reply routing and the version reply, from
// the plain decoders up to the bridge properties over a real pseudo-terminal.
#include "bridge/AppBridge.h"
#include "device/HeartbeatDecoder.h"
#include "device/VersionReply.h"
#include "protocol/FrameCodec.h"
#include "support/MessageCapture.h"
#include "support/PseudoTerminal.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const quint8 GeneralSet = 0x00;
const quint8 GimbalSet = 0x01;

QByteArray heartbeatFrame(const QByteArray &payload)
{
    return buildFrameV1(GimbalSet, 0x00, payload);
}

QByteArray versionFrame(const QByteArray &payload)
{
    return buildFrameV1(GeneralSet, 0x02, payload);
}

// Payload bytes 1, 2, 3, ... so that every field decodes to a distinct non-zero value.
QByteArray countingPayload(int length)
{
    QByteArray payload;
    for (int i = 0; i < length; ++i)
        payload.append(char(i + 1));
    return payload;
}

qint16 countingValue(int offset)
{
    return qint16((offset + 1) | ((offset + 2) << 8));
}

QByteArray zeroPayloadWith(int length, int offset, const QByteArray &bytes)
{
    QByteArray payload(length, '\0');
    payload.replace(offset, bytes.size(), bytes);
    return payload;
}

// The message log's entries without their "[yyyy-MM-dd hh:mm:ss] " stamps.
QStringList messageTexts(const AppBridge &bridge)
{
    QStringList texts;
    for (const QString &entry : bridge.messageLog().split(QLatin1Char('\n')))
        texts << entry.mid(22);
    return texts;
}

QStringList heartbeatLines(const MessageCapture &capture)
{
    QStringList lines;
    for (const QString &line : capture.linesContaining(QStringLiteral("[DIAG-HB]")))
        lines << line.mid(line.indexOf(QLatin1String("[DIAG-HB]")));
    return lines;
}
}

class TestHeartbeat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void decodesBlocksByPayloadLength_data();
    void decodesBlocksByPayloadLength();
    void decodesStatusWord_data();
    void decodesStatusWord();
    void formatsVersionWords_data();
    void formatsVersionWords();

    void publishesSignedFields_data();
    void publishesSignedFields();
    void shortHeartbeatIsDropped();
    void laterShorterHeartbeatReplacesWholeRecord();
    void diagnosticLineOncePerConnection();
    void closingResetsHeartbeat();
    void reportsUnknownReplies_data();
    void reportsUnknownReplies();
    void handlesVersionReplies_data();
    void handlesVersionReplies();
    void identicalVersionRepliesAreEachReported();

private:
    bool openLink(const QString &language);
    // Frames are handled in order: once this version reply is in, everything
    // written before it has been handled too.
    bool flushWithMarker();

    PseudoTerminal *m_pty = nullptr;
    AppBridge *m_bridge = nullptr;
};

void TestHeartbeat::init()
{
    m_pty = new PseudoTerminal;
    m_bridge = new AppBridge;
}

void TestHeartbeat::cleanup()
{
    delete m_bridge;
    delete m_pty;
    m_bridge = nullptr;
    m_pty = nullptr;
}

bool TestHeartbeat::openLink(const QString &language)
{
    m_bridge->setLanguage(language);
    return m_pty->isValid() && m_bridge->openSerial(m_pty->slaveName(), 115200);
}

bool TestHeartbeat::flushWithMarker()
{
    QSignalSpy versions(m_bridge, &AppBridge::tavoxVersionChanged);
    m_pty->write(versionFrame(QByteArray::fromHex("0909090909090909")));
    return versions.wait(5000);
}

void TestHeartbeat::decodesBlocksByPayloadLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<bool>("hasTemperature");
    QTest::addColumn<bool>("hasSbus");
    QTest::addColumn<bool>("hasPwm");
    QTest::addColumn<bool>("hasCrsf");

    QTest::newRow("21 bytes") << 21 << false << false << false << false << false;
    QTest::newRow("22 bytes") << 22 << true << false << false << false << false;
    QTest::newRow("34 bytes") << 34 << true << false << false << false << false;
    QTest::newRow("35 bytes") << 35 << true << true << false << false << false;
    QTest::newRow("44 bytes") << 44 << true << true << false << false << false;
    QTest::newRow("45 bytes") << 45 << true << true << true << false << false;
    QTest::newRow("50 bytes") << 50 << true << true << true << false << false;
    QTest::newRow("51 bytes") << 51 << true << true << true << true << false;
    QTest::newRow("60 bytes") << 60 << true << true << true << true << false;
    QTest::newRow("61 bytes") << 61 << true << true << true << true << true;
    QTest::newRow("70 bytes") << 70 << true << true << true << true << true;
}

void TestHeartbeat::decodesBlocksByPayloadLength()
{
    QFETCH(int, length);
    QFETCH(bool, decoded);
    QFETCH(bool, hasTemperature);
    QFETCH(bool, hasSbus);
    QFETCH(bool, hasPwm);
    QFETCH(bool, hasCrsf);

    HeartbeatRecord record;
    record.pitch = 77;   // a failed decode must not leave old values behind
    QCOMPARE(decodeHeartbeat(countingPayload(length), record), decoded);

    const auto expect = [](bool present, int offset) { return present ? countingValue(offset) : qint16(0); };
    QCOMPARE(record.pitch, expect(decoded, 0));
    QCOMPARE(record.roll, expect(decoded, 2));
    QCOMPARE(record.yaw, expect(decoded, 4));
    QCOMPARE(record.jointOutterAngle, expect(decoded, 10));
    QCOMPARE(record.jointMiddleAngle, expect(decoded, 12));
    QCOMPARE(record.jointInnerAngle, expect(decoded, 14));
    QCOMPARE(int(record.imuTemp), hasTemperature ? 35 : 0);
    QCOMPARE(record.sbusPitch, expect(hasSbus, 35));
    QCOMPARE(record.sbusLock, expect(hasSbus, 43));
    QCOMPARE(record.pwmPitch, expect(hasPwm, 45));
    QCOMPARE(record.pwmCenter, expect(hasPwm, 49));
    QCOMPARE(record.crsfPitch, expect(hasCrsf, 51));
    QCOMPARE(record.crsfLock, expect(hasCrsf, 59));
    QCOMPARE(record.crsfValuePresent, hasCrsf);
}

void TestHeartbeat::decodesStatusWord_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QVector<int>>("expected");   // atti, joint, volt, mems, actuator, limit, ctrl, state

    QTest::newRow("every field set") << QByteArray::fromHex("ff3f0000") << QVector<int>{1, 1, 1, 1, 3, 1, 3, 15};
    QTest::newRow("byte 9 set too") << QByteArray::fromHex("ff3f00ff") << QVector<int>{1, 1, 1, 1, 3, 1, 3, 15};
    QTest::newRow("bit 13 and up only") << QByteArray::fromHex("00e0ffff") << QVector<int>{0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("IMU lost only") << QByteArray::fromHex("08000000") << QVector<int>{0, 0, 0, 1, 0, 0, 0, 0};
    QTest::newRow("actuator 2, ctrl 1, state 5") << QByteArray::fromHex("a00a0000")
                                                 << QVector<int>{0, 0, 0, 0, 2, 0, 1, 5};
    QTest::newRow("under-voltage, soft limit, ctrl 2") << QByteArray::fromHex("44010000")
                                                       << QVector<int>{0, 0, 1, 0, 0, 1, 2, 0};
}

void TestHeartbeat::decodesStatusWord()
{
    QFETCH(QByteArray, status);
    QFETCH(QVector<int>, expected);

    HeartbeatRecord record;
    QVERIFY(decodeHeartbeat(zeroPayloadWith(22, 6, status), record));
    const QVector<int> actual{record.attiReady, record.jointInitOk, record.underVolt, record.memsLost,
                              record.actuator,  record.softLimit,   record.ctrlMode,  record.stateMachine};
    QCOMPARE(actual, expected);
}

void TestHeartbeat::formatsVersionWords_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QString>("boot");
    QTest::addColumn<QString>("firmware");

    QTest::newRow("7 bytes") << QByteArray::fromHex("02000001050001") << false << QString() << QString();
    QTest::newRow("most significant first") << QByteArray::fromHex("0200000105000101") << true << "1.0.0.2"
                                            << "1.1.0.5";
    QTest::newRow("extremes") << QByteArray::fromHex("00000000ffffffff") << true << "0.0.0.0" << "255.255.255.255";
    QTest::newRow("12 bytes, tail ignored") << QByteArray::fromHex("0a141e28010203046f6f6f6f") << true
                                            << "40.30.20.10" << "4.3.2.1";
}

void TestHeartbeat::formatsVersionWords()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, decoded);
    QFETCH(QString, boot);
    QFETCH(QString, firmware);

    VersionReply reply;
    QCOMPARE(decodeVersionReply(payload, reply), decoded);
    QCOMPARE(reply.boot, boot);
    QCOMPARE(reply.firmware, firmware);
}

void TestHeartbeat::publishesSignedFields_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("pitch FF FF") << 0 << QByteArray::fromHex("ffff") << QByteArray("hbPitch") << QVariant(-0.01);
    QTest::newRow("pitch 10 27") << 0 << QByteArray::fromHex("1027") << QByteArray("hbPitch") << QVariant(100.0);
    QTest::newRow("yaw 00 80") << 4 << QByteArray::fromHex("0080") << QByteArray("hbYaw") << QVariant(-327.68);
    QTest::newRow("inner joint FF FF") << 14 << QByteArray::fromHex("ffff") << QByteArray("hbJointInnerAngle")
                                       << QVariant(-0.01);
    QTest::newRow("temperature F6") << 34 << QByteArray::fromHex("f6") << QByteArray("hbImuTemp") << QVariant(-10.0);
    QTest::newRow("temperature 7F") << 34 << QByteArray::fromHex("7f") << QByteArray("hbImuTemp") << QVariant(127.0);
    QTest::newRow("SBUS 00 80") << 35 << QByteArray::fromHex("0080") << QByteArray("hbSbusPitchValue")
                                << QVariant(-32768);
    QTest::newRow("PWM FF 7F") << 49 << QByteArray::fromHex("ff7f") << QByteArray("hbPwmCenterValue")
                               << QVariant(32767);
    QTest::newRow("CRSF 18 FC") << 59 << QByteArray::fromHex("18fc") << QByteArray("hbCrsfLockValue")
                                << QVariant(-1000);
}

void TestHeartbeat::publishesSignedFields()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::heartbeatChanged);
    m_pty->write(heartbeatFrame(zeroPayloadWith(61, offset, bytes)));
    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_bridge->property(property.constData()), expected);
    QVERIFY(m_bridge->hbReceived());
    QVERIFY(m_bridge->hbCrsfValuePresent());
}

void TestHeartbeat::shortHeartbeatIsDropped()
{
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::heartbeatChanged);
    m_pty->write(heartbeatFrame(countingPayload(21)));
    QVERIFY(flushWithMarker());
    QCOMPARE(changed.count(), 0);
    QVERIFY(!m_bridge->hbReceived());
    QCOMPARE(m_bridge->hbPitch(), 0.0);
}

void TestHeartbeat::laterShorterHeartbeatReplacesWholeRecord()
{
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::heartbeatChanged);
    m_pty->write(heartbeatFrame(countingPayload(61)));
    QVERIFY(changed.wait(5000));
    QCOMPARE(m_bridge->hbCrsfRollValue(), int(countingValue(53)));
    QVERIFY(m_bridge->hbCrsfValuePresent());

    m_pty->write(heartbeatFrame(countingPayload(45)));
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(m_bridge->hbSbusLockValue(), int(countingValue(43)));
    QCOMPARE(m_bridge->hbPwmPitchValue(), 0);
    QCOMPARE(m_bridge->hbCrsfRollValue(), 0);
    QCOMPARE(m_bridge->hbCrsfLockValue(), 0);
    QVERIFY(!m_bridge->hbCrsfValuePresent());
    QVERIFY(m_bridge->hbReceived());
}

void TestHeartbeat::diagnosticLineOncePerConnection()
{
    MessageCapture capture;
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::heartbeatChanged);
    const QByteArray shortPayload = zeroPayloadWith(22, 0, QByteArray::fromHex("0aff00"));
    m_pty->write(heartbeatFrame(shortPayload));
    m_pty->write(heartbeatFrame(countingPayload(61)));
    QTRY_COMPARE(changed.count(), 2);
    const QStringList firstConnection = heartbeatLines(capture);

    capture.clear();
    m_bridge->closeSerial();
    QVERIFY(m_bridge->openSerial(m_pty->slaveName(), 115200));
    changed.clear();
    m_pty->write(heartbeatFrame(countingPayload(61)));
    m_pty->write(heartbeatFrame(shortPayload));
    QTRY_COMPARE(changed.count(), 2);
    const QStringList secondConnection = heartbeatLines(capture);

    QCOMPARE(firstConnection.size(), 1);
    QCOMPARE(firstConnection.first(),
             QStringLiteral("[DIAG-HB] 心跳DATA长度=22B (需>=45才有SBUS值,>=51才有PWM值,>=61才有CRSF值) "
                            "crsfValuePresent=NO raw: 0A FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(secondConnection.size(), 1);
    QVERIFY(secondConnection.first().startsWith(QStringLiteral("[DIAG-HB] 心跳DATA长度=61B ")));
    QVERIFY(secondConnection.first().contains(QStringLiteral("crsfValuePresent=YES raw: 01 02 03 ")));
    QVERIFY(!m_bridge->messageLog().contains(QLatin1String("[DIAG-HB]")));
}

void TestHeartbeat::closingResetsHeartbeat()
{
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::heartbeatChanged);
    m_pty->write(heartbeatFrame(countingPayload(61)));
    QVERIFY(changed.wait(5000));
    QVERIFY(m_bridge->hbReceived());

    m_bridge->closeSerial();
    QCOMPARE(changed.count(), 2);
    QVERIFY(!m_bridge->hbReceived());
    QCOMPARE(m_bridge->hbPitch(), 0.0);
    QCOMPARE(m_bridge->hbSbusPitchValue(), 0);
    QVERIFY(!m_bridge->hbCrsfValuePresent());
}

void TestHeartbeat::reportsUnknownReplies_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("commandSet");
    QTest::addColumn<int>("commandId");
    QTest::addColumn<QString>("expected");   // empty: no message at all

    QTest::newRow("general 0xA5, en") << "en" << 0 << 0xA5 << "Unknown v1 general reply: CMD_ID=0xa5";
    QTest::newRow("general 0x05, en") << "en" << 0 << 0x05 << "Unknown v1 general reply: CMD_ID=0x5";
    QTest::newRow("general 0x01, zh") << "zh" << 0 << 0x01 << "收到未知v1通用应答: CMD_ID=0x1";
    QTest::newRow("general 0xFF, zh") << "zh" << 0 << 0xFF << "收到未知v1通用应答: CMD_ID=0xff";
    QTest::newRow("gimbal 0x05, en") << "en" << 1 << 0x05 << "Unknown v1 gimbal reply: CMD_ID=0x5";
    QTest::newRow("gimbal 0x10, zh") << "zh" << 1 << 0x10 << "收到未知v1云台应答: CMD_ID=0x10";
    QTest::newRow("set 2, silent") << "en" << 2 << 0x00 << QString();
    QTest::newRow("set 0xFF, silent") << "zh" << 0xFF << 0x05 << QString();
}

void TestHeartbeat::reportsUnknownReplies()
{
    QFETCH(QString, language);
    QFETCH(int, commandSet);
    QFETCH(int, commandId);
    QFETCH(QString, expected);

    QVERIFY(openLink(language));
    QSignalSpy heartbeat(m_bridge, &AppBridge::heartbeatChanged);
    const int entriesBefore = messageTexts(*m_bridge).size();
    m_pty->write(buildFrameV1(quint8(commandSet), quint8(commandId), countingPayload(61)));
    QVERIFY(flushWithMarker());

    const QStringList added = messageTexts(*m_bridge).mid(entriesBefore).filter(QStringLiteral("CMD_ID"));
    QCOMPARE(added, expected.isEmpty() ? QStringList() : QStringList{expected});
    QCOMPARE(heartbeat.count(), 0);
    QCOMPARE(m_bridge->hbPitch(), 0.0);
}

void TestHeartbeat::handlesVersionReplies_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("boot");
    QTest::addColumn<QString>("message");

    QTest::newRow("en") << "en" << QByteArray::fromHex("0200000105000101") << "1.1.0.5" << "1.0.0.2"
                        << "Firmware: 1.1.0.5, Boot: 1.0.0.2";
    QTest::newRow("zh, full-width comma") << "zh" << QByteArray::fromHex("0200000105000101") << "1.1.0.5"
                                          << "1.0.0.2" << QStringLiteral("固件版本: 1.1.0.5\uFF0CBoot: 1.0.0.2");
    QTest::newRow("extremes") << "en" << QByteArray::fromHex("00000000ffffffff") << "255.255.255.255" << "0.0.0.0"
                              << "Firmware: 255.255.255.255, Boot: 0.0.0.0";
    QTest::newRow("12 bytes") << "en" << QByteArray::fromHex("0a141e28010203046f6f6f6f") << "4.3.2.1"
                              << "40.30.20.10" << "Firmware: 4.3.2.1, Boot: 40.30.20.10";
}

void TestHeartbeat::handlesVersionReplies()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, payload);
    QFETCH(QString, firmware);
    QFETCH(QString, boot);
    QFETCH(QString, message);

    QVERIFY(openLink(language));
    QSignalSpy changed(m_bridge, &AppBridge::tavoxVersionChanged);
    m_pty->write(versionFrame(payload.left(7)));   // too short: ignored
    m_pty->write(versionFrame(payload));
    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_bridge->tavoxFirmwareVersion(), firmware);
    QCOMPARE(m_bridge->tavoxBootVersion(), boot);
    QCOMPARE(messageTexts(*m_bridge).count(message), 1);
}

void TestHeartbeat::identicalVersionRepliesAreEachReported()
{
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy changed(m_bridge, &AppBridge::tavoxVersionChanged);
    const QByteArray reply = versionFrame(QByteArray::fromHex("0200000105000101"));
    m_pty->write(reply + reply);
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(messageTexts(*m_bridge).count(QStringLiteral("Firmware: 1.1.0.5, Boot: 1.0.0.2")), 2);

    m_bridge->closeSerial();
    QCOMPARE(m_bridge->tavoxFirmwareVersion(), QStringLiteral("1.1.0.5"));
}

QTEST_MAIN(TestHeartbeat)
#include "tst_heartbeat.moc"
