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
    void receivesOnlyWhileOpenAndDropsAPartialFrameOnClose();
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
    QVERIFY(messages.diagnostics.isEmpty());   // nothing was sent, so nothing is shown as sent
}

void TestSerialLink::sendsOnlyWhileTheSessionIsOpen()
{
    PseudoTerminal pty;
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
    QCOMPARE(messages.diagnostics, QStringList { QStringLiteral("[DIAG-HEX] TX(7B): AA 07 00 B1 C0 49 6C") });

    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY(!link.portLost());
    QVERIFY(!link.send(frame));
    QCOMPARE(pty.received(), frame);
}

void TestSerialLink::receivesOnlyWhileOpenAndDropsAPartialFrameOnClose()
{
    PseudoTerminal pty;
    MessageRecorder messages;
    SerialLink link(messages);
    QList<QByteArray> payloads;
    connect(&link, &SerialLink::frameReceived, this,
            [&payloads](const ParsedFrame &frame) { payloads << frame.payload; });
    const QByteArray frame = buildFrameV0(CommandId::ParamBlock, QByteArray(22, '\x01'));

    link.receive(frame);
    QVERIFY(payloads.isEmpty());
    QVERIFY(link.open(pty.slaveName(), Baud));
    link.session().begin();
    link.receive(frame + frame.left(4));
    QCOMPARE(payloads, QList<QByteArray> {QByteArray(22, '\x01')});
    QCOMPARE(link.receiveBuffer().size(), 4);

    link.close();
    QVERIFY(link.receiveBuffer().isEmpty());
    QCOMPARE(link.statistics().frames, quint64(1));   // kept after a close
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
