#include "bridge/SerialLink.h"
#include "protocol/FrameCodec.h"
#include "protocol/Pcapng.h"
#include "record/SessionFolder.h"
#include "record/SessionRecorder.h"
#include "support/CtlRun.h"
#include "support/FakeDevice.h"
#include "support/PseudoTerminal.h"
#include "support/SerialLock.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QCryptographicHash>
#include <QtTest>

#include <csignal>

namespace {
// A link on a pseudo-terminal, its bytes shown to a recorder.
struct RecordedLink
{
    RecordedLink(const QString &folder, const RecordingSettings &settings, const QString &targetFile = QString())
        : recorder(messages, folder, settings)
    {
        recorder.setTargetFile(targetFile);
        link.setFrameTap(&recorder);
        QObject::connect(&link, &SerialLink::frameReceived, [this] { ++framesReceived; });
        if (link.open(pty.slaveName(), 115200))
            link.session().begin();
    }

    // The link still moves frames both ways.
    bool exchanges()
    {
        const QByteArray frame = buildFrameV0(CommandId::ParamRead, QByteArray());
        const int before = framesReceived;
        return link.send(frame) && QTest::qWaitFor([&] { return pty.received().endsWith(frame); }, ProcessWaitMs)
            && pty.write(frame) && QTest::qWaitFor([&] { return framesReceived > before; }, ProcessWaitMs);
    }

    PseudoTerminal pty;
    MessageRecorder messages;
    SessionRecorder recorder;
    SerialLink link {messages};
    int framesReceived = 0;
};
}

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void recordsWhatCrossedThePort_data();
    void recordsWhatCrossedThePort();
    void prunesOnlyTheOldestOwnSessions_data();
    void prunesOnlyTheOldestOwnSessions();
    void aRefusingDiskStopsTheRecordingNotTheLink_data();
    void aRefusingDiskStopsTheRecordingNotTheLink();
    void aKilledRecordingReadsToItsLastBlock();
};

void TestRecording::recordsWhatCrossedThePort_data()
{
    QTest::addColumn<bool>("fullUpgrade");
    QTest::newRow("upgrade digested") << false;
    QTest::newRow("upgrade whole") << true;
}

// Out, in after a run of noise, and an upgrade's image packet, in the order they crossed.
void TestRecording::recordsWhatCrossedThePort()
{
    QFETCH(bool, fullUpgrade);
    const QTemporaryDir dir;
    RecordingSettings settings;
    settings.fullUpgrade = fullUpgrade;
    RecordedLink recorded(dir.path(), settings);
    QVERIFY(recorded.recorder.recording());
    const QByteArray request = buildFrameV0(CommandId::ParamRead, QByteArray());
    const QByteArray reply = buildFrameV0(CommandId::ParamBlock, countingBytes(20));
    const QByteArray upgrade = buildFrameV1(CommandSet::General, 0x0D, countingBytes(64));
    QVERIFY(recorded.link.send(request));
    QVERIFY(recorded.pty.write(QByteArray("\x01\xAA\x02", 3) + reply));
    QTRY_COMPARE_WITH_TIMEOUT(recorded.framesReceived, 1, ProcessWaitMs);
    QVERIFY(recorded.link.send(upgrade));
    recorded.recorder.note(QDateTime::currentDateTime(), QStringLiteral("event"), QStringLiteral("port-opened"),
                           QStringLiteral("tab\there"));
    recorded.link.close();
    QVERIFY(!recorded.recorder.recording() && recorded.recorder.flush(ProcessWaitMs));
    const QString file = recorded.recorder.filePath();
    const Pcapng::Recording recording = Pcapng::read(readFile(file));
    QCOMPARE(recording.interfaceName, recorded.pty.slaveName());
    QCOMPARE(recording.interfaceDescription, QStringLiteral("115200 baud"));
    QCOMPARE(recording.packets.size(), 4);
    using D = FrameTap::Direction;
    const QVector<D> directions {D::Outbound, D::Inbound, D::Inbound, D::Outbound};
    const QVector<QByteArray> bytes {request, QByteArray("\x01\xAA\x02", 3), reply, upgrade};
    const QByteArray image = upgrade.mid(11, 64);
    const QString digest = QStringLiteral("payload sha256 %1, 64 bytes")
                               .arg(QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
    const QStringList comments {QString(), QStringLiteral("dropped 3 bytes (resynchronisation)"), QString(),
                                fullUpgrade ? QString() : digest};
    for (int i = 0; i < 4; ++i) {
        const Pcapng::Packet &packet = recording.packets.at(i);
        QCOMPARE(packet.direction, directions.at(i));
        QCOMPARE(packet.data, i == 3 && !fullUpgrade ? bytes.at(i).left(11) : bytes.at(i));
        QCOMPARE(packet.originalLength, quint32(bytes.at(i).size()));
        QCOMPARE(packet.comment, comments.at(i));
    }
    QVERIFY(readFile(file.chopped(7) + QStringLiteral(".tsv")).endsWith("\tevent\tport-opened\ttab\\there\n"));
}

void TestRecording::prunesOnlyTheOldestOwnSessions_data()
{
    QTest::addColumn<int>("maxSessions");
    QTest::addColumn<int>("maxSessionsBySize");
    QTest::addColumn<int>("live");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("by count") << 2 << 10 << 3 << QStringList {"03", "02"};
    QTest::newRow("by size") << 10 << 3 << 3 << QStringList {"03", "02", "01"};
    QTest::newRow("live one oldest") << 2 << 10 << 0 << QStringList {"03", "00"};
}

void TestRecording::prunesOnlyTheOldestOwnSessions()
{
    QFETCH(int, maxSessions);
    QFETCH(int, maxSessionsBySize);
    QFETCH(int, live);
    QFETCH(QStringList, left);
    const QTemporaryDir dir;
    const QByteArray content(1000, 'x');
    QStringList recordings;
    for (int day = 0; day < 4; ++day) {
        recordings << dir.filePath(QStringLiteral("202612%1-120000_ttyUSB0.pcapng").arg(day + 10));
        QVERIFY(writeFile(recordings.last(), content));
        QVERIFY(writeFile(recordings.last().chopped(7) + QStringLiteral(".tsv"), content));
    }
    const QStringList foreign {dir.filePath("notes.txt"), dir.filePath("20261208-foo.pcapng.bak"),
                               dir.filePath("20261208-1200_x.pcapng")};
    for (const QString &file : foreign)
        QVERIFY(writeFile(file, content));

    SessionFolder(dir.path()).prune(maxSessions, maxSessionsBySize * 2000, recordings.at(live));
    QStringList kept;
    for (const SessionFolder::Session &session : SessionFolder(dir.path()).sessions()) {
        kept << QString::number(recordings.indexOf(session.recording)).rightJustified(2, '0');
        QCOMPARE(session.bytes, qint64(2000));
    }
    QCOMPARE(kept, left);
    for (const QString &file : foreign)
        QVERIFY(QFileInfo::exists(file));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), foreign.size() + 2 * left.size());
}

void TestRecording::aRefusingDiskStopsTheRecordingNotTheLink_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << QString() << "/dev/full" << "No space left on device";
    QTest::newRow("folder under a file") << "file/sessions" << QString() << "Not a directory";
}

void TestRecording::aRefusingDiskStopsTheRecordingNotTheLink()
{
    QFETCH(QString, folder);
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("file"), "x"));
    RecordedLink recorded(dir.filePath(folder), RecordingSettings(), target);
    QTRY_VERIFY_WITH_TIMEOUT(!recorded.recorder.recording(), ProcessWaitMs);
    QVERIFY(recorded.exchanges() && recorded.exchanges());
    QCOMPARE(recorded.messages.english(),
             QStringList {QStringLiteral("Recording stopped: %1 (%2)").arg(recorded.recorder.filePath(), reason)});
    QCOMPARE(recorded.messages.messages.first().meaning.kind, MessageKind::Error);
}

void TestRecording::aKilledRecordingReadsToItsLastBlock()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const QTemporaryDir dir;
    const QString file = dir.filePath("killed.pcapng");
    RunningCtl ctl(tavoxctlProgram(), {"-p", sim.portName(), "record", file});
    QTRY_VERIFY_WITH_TIMEOUT(Pcapng::read(readFile(file)).packets.size() >= 10, ProcessWaitMs);
    // The killed run cannot take its lock file away; left behind, it would refuse the port to other users.
    const QString lock = serialLockFile(sim.portName());
    ctl.signal(SIGKILL);
    QCOMPARE(ctl.finish(), -1);
    QFile::remove(lock);
    const Pcapng::Recording recording = Pcapng::read(readFile(file));
    QCOMPARE(recording.trailingBytes, qint64(0));
    QVERIFY(recording.packets.size() >= 10);
    const ProgramRun tshark = runProgram(QStringLiteral("tshark"), {"-r", file}, englishEnvironment());
    QCOMPARE(tshark.exitCode, 0);
    QCOMPARE(tshark.out.count(QLatin1Char('\n')), recording.packets.size());
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
