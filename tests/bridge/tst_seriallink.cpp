// The serial link on its own, over a real pseudo-terminal: what it says when a
// port cannot be used (missing, no serial line, not this user's, held by
// another program), the frames it sends and the frames it cuts from the input,
// and a port that goes away under it.
#include "bridge/SerialLink.h"
#include "protocol/FrameCodec.h"
#include "support/ChildProcess.h"
#include "support/FakeDevice.h"
#include "support/ProgramRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"
#include "support/Waiting.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
const int Baud = 115200;
}


class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void portThatCannotBeOpenedIsReported_data();
    void portThatCannotBeOpenedIsReported();
    void deviceOfOthersIsReportedWithTheGroupToJoin();
    void portHeldByAnotherProgramIsRefusedUntilItLetsGo();
    void sendsOnlyWhileTheSessionIsOpen();
    void cutsFramesFromInputInAnyPieces();
    void lostPortIsReportedAndClosed();
};

void TestSerialLink::portThatCannotBeOpenedIsReported_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("zh");
    QTest::addColumn<QString>("en");
    QTest::newRow("missing") << "/nonexistent/tty" << QStringLiteral("设备不存在") << "no such device";
    QTest::newRow("regular file") << "file" << QStringLiteral("不是串口设备") << "not a serial device";
    QTest::newRow("/dev/null") << "/dev/null" << QStringLiteral("不是串口设备") << "not a serial device";
}

void TestSerialLink::portThatCannotBeOpenedIsReported()
{
    QFETCH(QString, port);
    QFETCH(QString, zh);
    QFETCH(QString, en);
    QTemporaryDir dir;
    if (port == QLatin1String("file")) {
        port = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(writeFile(port, "not a line"));
    }
    MessageRecorder messages;
    SerialLink link(messages);
    QVERIFY(!link.open(port, Baud));
    QVERIFY(!link.isOpen());
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages.first().text.zh, QStringLiteral("串口打开失败: %1 (%2)").arg(port, zh));
    QCOMPARE(messages.messages.first().text.en, QStringLiteral("Failed to open serial port: %1 (%2)").arg(port, en));
    QCOMPARE(messages.messages.first().meaning.kind, MessageKind::Error);

    QVERIFY(!link.require());
    QVERIFY(!link.send(QByteArray("x")));
    QCOMPARE(messages.messages.size(), 3);
    for (const Message &refusal : messages.messages.mid(1)) {
        QCOMPARE(refusal.text.en, QStringLiteral("Please open serial port first"));
        QCOMPARE(refusal.meaning.topic, MessageTopic::PortRequired);
        QCOMPARE(refusal.meaning.answers, OperatorAction::AnyDeviceAction);
    }
}

// Root opens any device, so the link is opened by the unprivileged user in a child of the test.
void TestSerialLink::deviceOfOthersIsReportedWithTheGroupToJoin()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(shutOutUnprivileged(pty.slaveName(), true));

    const ChildRun run = runInChild([&pty] {
        if (!becomeUnprivileged())
            ::_exit(2);
        MessageRecorder messages;
        SerialLink link(messages);
        if (link.open(pty.slaveName(), Baud) || messages.messages.size() != 1)
            ::_exit(3);
        std::printf("%s\n%s\n", messages.messages.first().text.en.toUtf8().constData(),
                    messages.messages.first().text.zh.toUtf8().constData());
    });
    QVERIFY2(run.succeeded(), run.errors.constData());
    const QString group = groupOf(pty.slaveName());
    QVERIFY(!group.isEmpty());
    QCOMPARE(QString::fromUtf8(run.output).split(QLatin1Char('\n')),
             (QStringList{QStringLiteral("Failed to open serial port: %1 (%2)")
                              .arg(pty.slaveName(), PortRefusal::permissionDenied(group).en()),
                          QStringLiteral("串口打开失败: %1 (%2)").arg(pty.slaveName(), PortRefusal::permissionDenied(group).zh()),
                          QString()}));
}

// tavoxctl holds the simulator's line under its kernel name; the link asks for
// it under a link of its own.
void TestSerialLink::portHeldByAnotherProgramIsRefusedUntilItLetsGo()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString gimbal = gimbalLink(dir.path(), sim.portName());
    QVERIFY(!gimbal.isEmpty());
    QProcess ctl;
    ctl.setProcessEnvironment(englishEnvironment());
    ctl.start(tavoxctlProgram(), {"-p", sim.portName(), "monitor", "--json"});
    // Its first report comes from a heartbeat heard on the port.
    QVERIFY(QTest::qWaitFor([&] { return ctl.canReadLine(); }, ProcessWaitMs));

    MessageRecorder messages;
    SerialLink link(messages);
    QVERIFY(!link.open(gimbal, Baud));
    const QString holder = QStringLiteral("tavoxctl (pid %1)").arg(ctl.processId());
    QCOMPARE(messages.english(), QStringList{QStringLiteral("Failed to open serial port: %1 (in use by another program: %2)")
                                                 .arg(gimbal, holder)});
    QCOMPARE(messages.messages.first().text.zh, QStringLiteral("串口打开失败: %1 (被其他程序占用: %2)").arg(gimbal, holder));
    QCOMPARE(link.openRefusal().kind(), PortRefusal::Kind::InUse);

    ::kill(pid_t(ctl.processId()), SIGINT);
    QVERIFY(ctl.waitForFinished(ProcessWaitMs));
    QVERIFY(link.open(gimbal, Baud));
    QVERIFY(link.openRefusal().isNull());
}

void TestSerialLink::sendsOnlyWhileTheSessionIsOpen()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    MessageRecorder messages;
    SerialLink link(messages);
    QVERIFY(link.open(pty.slaveName(), Baud));
    QVERIFY(!link.isOpen());   // the port is, the session not yet
    link.session().begin();
    QVERIFY(link.isOpen());
    QCOMPARE(link.portName(), pty.slaveName());

    const QByteArray frame = buildFrameV0(CommandId::ParamRead, QByteArray());
    QVERIFY(link.send(frame));
    QVERIFY(link.waitForFramesWritten(ProcessWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(pty.received(), frame, ProcessWaitMs);
    QCOMPARE(messages.diagnostics.size(), 1);
    QVERIFY(messages.diagnostics.first().startsWith(QStringLiteral("[DIAG-HEX] TX(%1B): ").arg(frame.size())));

    int ran = 0;
    link.runWhileOpen(0, [&ran] { ++ran; });
    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY(!link.portLost());
    QVERIFY(!link.send(frame));
    QCoreApplication::processEvents();
    QCOMPARE(ran, 0);   // a follow-up of a closed open never runs
    QCOMPARE(pty.received(), frame);
}

void TestSerialLink::cutsFramesFromInputInAnyPieces()
{
    PseudoTerminal pty;
    MessageRecorder messages;
    SerialLink link(messages);
    QList<QByteArray> payloads;
    connect(&link, &SerialLink::frameReceived, this,
            [&payloads](const ParsedFrame &frame) { payloads << frame.payload; });
    const QByteArray first = buildFrameV0(CommandId::ParamBlock, QByteArray(22, '\x01'));
    const QByteArray second = buildFrameV1(CommandSet::General, 0x02, QByteArray(8, '\x02'));

    link.receive(first);   // nothing while closed
    QVERIFY(payloads.isEmpty());
    QVERIFY(link.open(pty.slaveName(), Baud));
    link.session().begin();

    const QByteArray stream = QByteArray("\x00\x13", 2) + first + second;
    for (int i = 0; i < stream.size(); i += 5)
        link.receive(stream.mid(i, 5));
    QCOMPARE(payloads, (QList<QByteArray> { QByteArray(22, '\x01'), QByteArray(8, '\x02') }));
    QVERIFY(link.receiveBuffer().isEmpty());
    QCOMPARE(link.statistics().bytesReceived, quint64(stream.size()));
    QCOMPARE(link.statistics().frames, quint64(2));
    link.receive(second + first);   // two frames in one piece
    QCOMPARE(payloads.size(), 4);
    QCOMPARE(payloads.last(), QByteArray(22, '\x01'));

    link.receive(first.left(4));
    QCOMPARE(link.receiveBuffer().size(), 4);
    link.close();
    QVERIFY(link.receiveBuffer().isEmpty());
    QCOMPARE(link.statistics().frames, quint64(4));   // kept after a close
}

void TestSerialLink::lostPortIsReportedAndClosed()
{
    PseudoTerminal pty;
    MessageRecorder messages;
    SerialLink link(messages);
    QSignalSpy lost(&link, &SerialLink::lost);
    QVERIFY(link.open(pty.slaveName(), Baud));
    link.session().begin();

    pty.closeMaster();
    QVERIFY(lost.wait(ProcessWaitMs));
    QVERIFY(!link.isOpen());
    QVERIFY(link.portLost());
    QCOMPARE(messages.english(), QStringList { QStringLiteral("Serial port disconnected: ") + pty.slaveName() });
    QCOMPARE(messages.messages.first().meaning.kind, MessageKind::Error);
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
