// The service tools' requests over a link double: which sub-command each
// argument sends, which are refused, and what the operator is told.
#include "device/ServiceRequests.h"
#include "support/FakeDevice.h"

#include <QtTest>

namespace {
// A command frame with its four words 0, written out: sub-command byte and CRC as the controller checks them.
QByteArray commandFrame(const char *subCommand, const char *crc)
{
    return QByteArray::fromHex(QByteArray("AA 18 00 C2 85 ") + subCommand + QByteArray(" 00").repeated(16) + ' ' + crc);
}
}

class TestServiceRequests : public QObject
{
    Q_OBJECT

private slots:
    void eachRequestSendsItsSubCommandAndSaysSo();
    void nothingIsSentForUnknownArgumentsOrAClosedLink();
    void aRefusedFrameIsNotReported();
};

void TestServiceRequests::eachRequestSendsItsSubCommandAndSaysSo()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);

    service.sendCalibration(2);
    QCOMPARE(link.sent, QByteArrayList { commandFrame("8F", "68 48") });
    QVERIFY(messages.messages.isEmpty());   // its reply is the answer

    service.sendMotorTorque(0, 1);
    QCOMPARE(link.sent.last(), commandFrame("82", "FC DB"));
    QCOMPARE(messages.messages.last().text.zh, QStringLiteral("电机控制: 外框架 反向力矩"));
    service.sendMotorHallCalib(2);
    QCOMPARE(link.sent.last(), commandFrame("8C", "98 B8"));
    service.sendElecAngleCalib(1, false);
    QCOMPARE(link.sent.last(), commandFrame("95", "43 2F"));
    service.sendHallDataSelect(true);
    QCOMPARE(link.sent.last(), commandFrame("98", "D7 BC"));
    service.sendLinearCalib();
    QCOMPARE(link.sent.last(), commandFrame("9B", "27 4C"));
    service.sendGyroBiasUpdate();
    QCOMPARE(link.sent.last(), commandFrame("9D", "C4 ED"));

    QCOMPARE(messages.english(), (QStringList { QStringLiteral("Motor: Outter Rev torque"),
                                                QStringLiteral("Motor hall calibration sent"),
                                                QStringLiteral("Elec angle calib end"),
                                                QStringLiteral("Switched to user hall data"),
                                                QStringLiteral("Motor linearization calibration sent"),
                                                QStringLiteral("Gyro bias update sent") }));
    for (const Message &message : messages.messages)
        QCOMPARE(message.meaning.kind, MessageKind::Info);
}

void TestServiceRequests::nothingIsSentForUnknownArgumentsOrAClosedLink()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);

    service.sendCalibration(99);
    service.sendMotorTorque(7, 0);
    service.sendMotorHallCalib(-1);
    QVERIFY(link.sent.isEmpty());
    QVERIFY(messages.messages.isEmpty());

    link.open = false;
    service.sendGyroBiasUpdate();
    service.sendMotorHallCalib(7);   // refused for the closed link before the argument is looked at
    QCOMPARE(link.refusals, 2);
    QVERIFY(link.sent.isEmpty());
    QVERIFY(messages.messages.isEmpty());
}

void TestServiceRequests::aRefusedFrameIsNotReported()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);
    link.accepts = false;
    service.sendLinearCalib();
    QVERIFY(messages.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceRequests)
#include "tst_servicerequests.moc"
