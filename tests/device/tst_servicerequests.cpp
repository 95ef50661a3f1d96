// The service tools' requests over a link double: which sub-command each
// argument sends, which are refused, and what the operator is told.
#include "device/ServiceRequests.h"
#include "device/CommandNames.h"
#include "device/CommandPacking.h"
#include "device/ServiceCommands.h"
#include "device/SubCommands.h"
#include "support/FakeDevice.h"

#include <QtTest>

namespace {
QByteArray frameOf(quint8 subCommand)
{
    return plainCommand(subCommand).toFrame();
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
    QCOMPARE(link.sent, QByteArrayList { frameOf(SubCommand::AccelCalib) });
    QVERIFY(messages.messages.isEmpty());   // its reply is the answer

    service.sendMotorTorque(0, 1);
    QCOMPARE(link.sent.last(), frameOf(*motorTorqueSubCommand(0, 1)));
    QCOMPARE(messages.messages.last().text.zh,
             QStringLiteral("电机控制: ") + motorFrameName(0).zh + QLatin1Char(' ') + motorTorqueAction(1).zh);
    service.sendMotorHallCalib(2);
    QCOMPARE(link.sent.last(), frameOf(*motorHallCalibSubCommand(2)));
    service.sendElecAngleCalib(1, false);
    QCOMPARE(link.sent.last(), frameOf(*elecAngleCalibSubCommand(1, false)));
    service.sendHallDataSelect(true);
    QCOMPARE(link.sent.last(), frameOf(hallDataSubCommand(true)));
    service.sendLinearCalib();
    QCOMPARE(link.sent.last(), frameOf(SubCommand::LinearCalib));
    service.sendGyroBiasUpdate();
    QCOMPARE(link.sent.last(), frameOf(SubCommand::GyroBiasUpdate));

    QCOMPARE(messages.english().mid(1), (QStringList { QStringLiteral("Motor hall calibration sent"),
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
