// A session with the simulator, recorded frame by frame as the receive path cuts it, read by tshark through the
// Wireshark dissector the package installs: each frame kind decoded into the values the simulator sent, its
// spoiled CRCs flagged, directions right.
#include "device/HeartbeatDecoder.h"
#include "device/ParamCodec.h"
#include "protocol/FrameCodec.h"
#include "protocol/Pcapng.h"
#include "support/CtlRun.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Firmware = QStringLiteral("2.3.4.5");
const QString Boot = QStringLiteral("1.0.0.9");

// One map of field name to value per packet, as tshark shows them.
using Rows = QVector<QMap<QString, QString>>;

QByteArray packetBlock(FrameTap::Direction direction, const QByteArray &bytes, const QString &comment = QString())
{
    return Pcapng::packetBlock({QDateTime::currentMSecsSinceEpoch() * 1000, direction, bytes, quint32(bytes.size()),
                                comment});
}

// Three seconds of the link, a parameter read and a version query asked, every
// frame and dropped run a packet, as the receive path cuts them.
QByteArray recordSession(const QString &portName)
{
    QSerialPort port(portName);
    if (!port.open(QIODevice::ReadWrite))
        return {};
    QByteArray file = Pcapng::sectionHeaderBlock("tst") + Pcapng::interfaceBlock(portName, "921600 baud");
    for (const QByteArray &request : {buildFrameV0(CommandId::ParamRead, {}), buildFrameV1(CommandSet::General, 0x01, {})}) {
        port.write(request);
        file += packetBlock(FrameTap::Direction::Outbound, request);
    }
    QByteArray buffer;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000 && port.waitForReadyRead(500)) {
        buffer += port.readAll();
        for (ParsedFrame frame; !buffer.isEmpty();) {
            const QByteArray before = buffer;
            const bool found = extractFrame(buffer, frame);
            const int frameLength = found ? frame.payload.size() + (frame.version ? 13 : 7) : 0;
            const int dropped = before.size() - buffer.size() - frameLength;
            if (dropped > 0)
                file += packetBlock(FrameTap::Direction::Inbound, before.left(dropped),
                                    QStringLiteral("dropped %1 bytes (resynchronisation)").arg(dropped));
            if (!found)
                break;
            file += packetBlock(FrameTap::Direction::Inbound, before.mid(dropped, frameLength));
        }
    }
    return file;
}
}

class TestDissector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyFrameKindCarriesWhatTheSimulatorSent();
    void spoiledCrcsAreFlaggedAndNothingElse();

private:
    Rows m_rows;
    Pcapng::Recording m_recording;
    QString m_simLog;
};

void TestDissector::initTestCase()
{
    SimProcess sim({"--verbose", "--fault-bad-crc", "7", "--firmware", Firmware, "--boot", Boot});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("session.pcapng"));
    const QByteArray recording = recordSession(sim.portName());
    QFile recorded(file);
    QVERIFY(recorded.open(QIODevice::WriteOnly) && recorded.write(recording) > 0);
    recorded.close();
    m_simLog = sim.errorOutput();
    m_recording = Pcapng::read(recording);

    const QStringList fields = {"_ws.col.Source", "tavox.command_id", "tavox.heartbeat.pitch",
        "tavox.heartbeat.yaw", "tavox.heartbeat.stateMachine", "tavox.heartbeat.imuTemp", "tavox.heartbeat.crsfLock",
        "tavox.param.pwmLockCh", "tavox.param.pitchMaxTorque", "tavox.param.crsfLockCh", "tavox.version.firmware",
        "tavox.version.boot", "tavox.dropped", "_ws.expert.message"};
    QStringList arguments = {"-X", "lua_script:" TAVOX_SOURCE_DIR "/packaging/wireshark/tavox.lua", "-r", file,
        "-T", "fields", "-E", "aggregator=|"};
    for (const QString &field : fields)
        arguments << "-e" << field;
    const ProgramRun tshark = runProgram(QStringLiteral("tshark"), arguments, englishEnvironment());
    QCOMPARE(tshark.exitCode, 0);
    QVERIFY2(!tshark.err.contains(QLatin1String("Lua")), qPrintable(tshark.err));
    for (const QString &line : tshark.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList values = line.split(QLatin1Char('\t'));
        m_rows.append(QMap<QString, QString>());
        for (int i = 0; i < fields.size(); ++i)
            m_rows.last()[fields[i]] = values.value(i);
    }
    QCOMPARE(m_rows.size(), m_recording.packets.size());
}

// The heartbeats and the parameter block equal what the tool's own decoders
// make of the recorded bytes; the versions are the simulator's options.
void TestDissector::everyFrameKindCarriesWhatTheSimulatorSent()
{
    QSet<QString> kinds;
    for (int i = 0; i < m_rows.size(); ++i) {
        const QMap<QString, QString> &row = m_rows[i];
        const QByteArray &bytes = m_recording.packets[i].data;
        if (!row["tavox.dropped"].isEmpty())
            continue;
        kinds << row["tavox.command_id"] + " from " + row["_ws.col.Source"];
        HeartbeatRecord heartbeat;
        if (!row["tavox.heartbeat.pitch"].isEmpty() && decodeHeartbeat(bytes.mid(11, bytes.size() - 13), heartbeat)) {
            QCOMPARE(row["tavox.heartbeat.pitch"].toDouble(), heartbeat.pitch / 100.0);
            QCOMPARE(row["tavox.heartbeat.yaw"].toDouble(), heartbeat.yaw / 100.0);
            QCOMPARE(row["tavox.heartbeat.stateMachine"].toInt(), int(heartbeat.stateMachine));
            QCOMPARE(row["tavox.heartbeat.imuTemp"].toInt(), int(heartbeat.imuTemp));
            QCOMPARE(row["tavox.heartbeat.crsfLock"].toInt(), int(heartbeat.crsfLock));
        }
        ParamBlock params;
        if (!row["tavox.param.pwmLockCh"].isEmpty() && decodeParamBlock(bytes.mid(5, bytes.size() - 7), params)) {
            QCOMPARE(row["tavox.param.pwmLockCh"].toInt(), int(params.pwmLockCh));
            QCOMPARE(row["tavox.param.pitchMaxTorque"].toInt(), int(params.pitchMaxTorque));
            QCOMPARE(row["tavox.param.crsfLockCh"].toInt(), int(params.crsfLockCh));
        }
        if (!row["tavox.version.firmware"].isEmpty())
            QCOMPARE(row["tavox.version.firmware"] + ' ' + row["tavox.version.boot"], Firmware + ' ' + Boot);
    }
    // Heartbeats, parameter reads and blocks, version queries and replies, each in its own direction.
    QCOMPARE(kinds, (QSet<QString> {"0x00 from controller", "0xc0 from tool", "0xc1 from controller",
                                     "0x01 from tool", "0x02 from controller"}));
}

// Every frame the simulator spoiled that reached the recording is a dropped
// run flagged "bad CRC"; no other packet carries an error.
void TestDissector::spoiledCrcsAreFlaggedAndNothingElse()
{
    const QString simLog = QString(m_simLog).remove(QLatin1Char(' '));
    int flagged = 0;
    for (const QMap<QString, QString> &row : m_rows) {
        const QString errors = row["_ws.expert.message"];
        if (!errors.contains(QLatin1String("bad CRC"))) {
            QVERIFY2(!errors.contains(QLatin1String("bad")), qPrintable(errors));
            continue;
        }
        ++flagged;
        const QString spoiled = QString(row["tavox.dropped"]).remove(QLatin1Char(':')).toUpper();
        QVERIFY2(simLog.contains(QLatin1String("TXbytes") + spoiled + QLatin1Char('\n')), qPrintable(spoiled));
    }
    QVERIFY(flagged >= 3);
}

QTEST_GUILESS_MAIN(TestDissector)
#include "tst_dissector.moc"
