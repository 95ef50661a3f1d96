// The sessions tavoxctl records against the simulator, read by tshark through the Wireshark dissector the
// package installs: each frame kind decoded into the values the simulator sent, its spoiled CRCs flagged,
// directions right.
#include "device/HeartbeatDecoder.h"
#include "device/ParamCodec.h"
#include "protocol/Pcapng.h"
#include "support/CtlRun.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Firmware = QStringLiteral("2.3.4.5");
const QString Boot = QStringLiteral("1.0.0.9");

// One map of field name to value per packet, as tshark shows them.
using Rows = QVector<QMap<QString, QString>>;

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
    QVector<Pcapng::Packet> m_packets;
    QString m_simLog;
};

void TestDissector::initTestCase()
{
    SimProcess sim({"--verbose", "--fault-bad-crc", "7", "--firmware", Firmware, "--boot", Boot});
    QVERIFY(sim.start());
    // Two sessions, each recorded as every command's is: one asks for the
    // parameters and versions, the other listens to the heartbeats.
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QCOMPARE(runCtl({"-p", sim.portName(), "info"}, englishEnvironment(), ctl).exitCode, 0);
    QCOMPARE(runCtl({"-p", sim.portName(), "monitor", "--seconds", "2"}, englishEnvironment(), ctl).exitCode, 0);
    m_simLog = sim.errorOutput();

    const QStringList fields = {"_ws.col.Source", "tavox.command_id", "tavox.heartbeat.pitch",
        "tavox.heartbeat.yaw", "tavox.heartbeat.stateMachine", "tavox.heartbeat.imuTemp", "tavox.heartbeat.crsfLock",
        "tavox.param.pwmLockCh", "tavox.param.pitchMaxTorque", "tavox.param.crsfLockCh", "tavox.version.firmware",
        "tavox.version.boot", "tavox.dropped", "_ws.expert.message"};
    const QDir sessions(dir.filePath(QStringLiteral("sessions")));
    const QStringList files = sessions.entryList({QStringLiteral("*.pcapng")});
    QCOMPARE(files.size(), 2);
    for (const QString &file : files) {
        QStringList arguments = {"-X", "lua_script:" TAVOX_SOURCE_DIR "/packaging/wireshark/tavox.lua", "-r",
            sessions.filePath(file), "-T", "fields", "-E", "aggregator=|"};
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
        QFile recorded(sessions.filePath(file));
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        m_packets += Pcapng::read(recorded.readAll()).packets;
    }
    QCOMPARE(m_rows.size(), m_packets.size());
}

// The heartbeats and the parameter block equal what the tool's own decoders
// make of the recorded bytes; the versions are the simulator's options.
void TestDissector::everyFrameKindCarriesWhatTheSimulatorSent()
{
    QSet<QString> kinds;
    for (int i = 0; i < m_rows.size(); ++i) {
        const QMap<QString, QString> &row = m_rows[i];
        const QByteArray &bytes = m_packets[i].data;
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
