// The serial link on its own, over a real pseudo-terminal: how a refused open
// reads in both languages, the frames it sends, and the frames it cuts from
// the input. Why a port is refused is the business of tests/link.
#include "bridge/SerialLink.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/PseudoTerminal.h"
#include "support/Waiting.h"

#include <QtTest>

namespace {
const int Baud = 115200;
}

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void refusedOpenIsReportedAndDeviceActionsWait();
    void sendsOnlyWhileTheSessionIsOpen();
    void cutsFramesFromInputInAnyPieces();
};

void TestSerialLink::refusedOpenIsReportedAndDeviceActionsWait()
{
    const QString port = QStringLiteral("/nonexistent/tty");
    MessageRecorder messages;
    SerialLink link(messages);
    QVERIFY(!link.open(port, Baud));
    QVERIFY(!link.isOpen());
    QCOMPARE(link.openRefusal().kind(), PortRefusal::Kind::NoSuchDevice);
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages.first().text.zh,
             QStringLiteral("串口打开失败: %1 (%2)").arg(port, link.openRefusal().zh()));
    QCOMPARE(messages.messages.first().text.en,
             QStringLiteral("Failed to open serial port: %1 (%2)").arg(port, link.openRefusal().en()));
    QCOMPARE(messages.messages.first().meaning.kind, MessageKind::Error);

    QVERIFY(!link.require());
    QVERIFY(!link.send(QByteArray("x")));
    QCOMPARE(messages.messages.size(), 3);
    for (const Message &refusal : messages.messages.mid(1)) {
        QCOMPARE(refusal.text.en, QStringLiteral("Please open serial port first"));
        QCOMPARE(refusal.text.zh, QStringLiteral("请您先打开串口"));
        QCOMPARE(refusal.meaning.topic, MessageTopic::PortRequired);
        QCOMPARE(refusal.meaning.answers, OperatorAction::AnyDeviceAction);
    }
    QVERIFY(messages.diagnostics.isEmpty());   // nothing was sent, so nothing is shown as sent
}

void TestSerialLink::sendsOnlyWhileTheSessionIsOpen()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    MessageRecorder messages;
    SerialLink link(messages);
    QVERIFY(link.open(pty.slaveName(), Baud));
    QVERIFY(link.openRefusal().isNull());
    QVERIFY(!link.isOpen());   // the port is, the session not yet
    link.session().begin();
    QVERIFY(link.isOpen());
    QCOMPARE(link.portName(), pty.slaveName());

    const QByteArray frame = buildFrameV0(CommandId::ParamRead, QByteArray());
    QVERIFY(link.send(frame));
    QVERIFY(link.waitForFramesWritten(ProcessWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(pty.received(), frame, ProcessWaitMs);
    QCOMPARE(messages.diagnostics, QStringList { QStringLiteral("[DIAG-HEX] TX(7B): AA 07 00 B1 C0 49 6C") });

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

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
