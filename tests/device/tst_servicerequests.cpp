// The service tools' requests over a link double: which sub-command each
// argument sends, which are refused, and what the operator is told.
#include "device/ServiceRequests.h"
#include "support/FakeDevice.h"

#include <QtTest>

#include <functional>

using Request = std::function<void(ServiceRequests &)>;
Q_DECLARE_METATYPE(Request)

class TestServiceRequests : public QObject
{
    Q_OBJECT

private slots:
    void eachArgumentSendsItsSubCommandAndSaysSo_data();
    void eachArgumentSendsItsSubCommandAndSaysSo();
    void nothingIsSentOrSaidForAClosedLinkOrARefusedFrame();
};

void TestServiceRequests::eachArgumentSendsItsSubCommandAndSaysSo_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("messages");
    // A calibration is answered by its reply, so says nothing when sent.
    QTest::newRow("calibrations: known types only")
        << Request([](ServiceRequests &s) { for (int type : {2, 6, -1, 0, 99}) s.sendCalibration(type); })
        << QStringList {"8F 0 0 0 0", "9C 0 0 0 0"} << "en" << QStringList();
    QTest::newRow("motor torque: any other direction clears, unknown motor nothing")
        << Request([](ServiceRequests &s) {
               s.sendMotorTorque(1, 0); s.sendMotorTorque(0, 1); s.sendMotorTorque(2, 7); s.sendMotorTorque(7, 0);
           })
        << QStringList {"85 0 0 0 0", "82 0 0 0 0", "8B 0 0 0 0"} << "zh"
        << QStringList {"电机控制: 中框架 正向力矩", "电机控制: 外框架 反向力矩", "电机控制: 内框架 力矩清零"};
    QTest::newRow("motor hall and electrical angle")
        << Request([](ServiceRequests &s) {
               s.sendMotorHallCalib(2); s.sendMotorHallCalib(3); s.sendMotorHallCalib(-1);
               s.sendElecAngleCalib(1, false); s.sendElecAngleCalib(0, true); s.sendElecAngleCalib(5, true);
           })
        << QStringList {"8C 0 0 0 0", "95 0 0 0 0", "92 0 0 0 0"} << "en"
        << QStringList {"Motor hall calibration sent", "Elec angle calib end", "Elec angle calib start"};
    QTest::newRow("hall data, linearisation, gyro bias")
        << Request([](ServiceRequests &s) {
               s.sendHallDataSelect(true); s.sendHallDataSelect(false); s.sendLinearCalib(); s.sendGyroBiasUpdate();
           })
        << QStringList {"98 0 0 0 0", "99 0 0 0 0", "9B 0 0 0 0", "9D 0 0 0 0"} << "zh"
        << QStringList {"已切换为用户校准霍尔数据", "已切换为默认霍尔数据", "电机线性化校准已发送", "陀螺仪偏置更新指令已发送"};
}

void TestServiceRequests::eachArgumentSendsItsSubCommandAndSaysSo()
{
    QFETCH(Request, request);
    QFETCH(QString, language);
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);

    request(service);
    QTEST(link.commandsSent(), "commands");
    QStringList said;
    for (const Message &message : qAsConst(messages.messages)) {
        said << (language == QLatin1String("zh") ? message.text.zh : message.text.en);
        QCOMPARE(message.meaning.kind, MessageKind::Info);
    }
    QTEST(said, "messages");
}

void TestServiceRequests::nothingIsSentOrSaidForAClosedLinkOrARefusedFrame()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);

    link.open = false;
    service.sendGyroBiasUpdate();
    service.sendMotorHallCalib(7);   // refused for the closed link before the argument is looked at
    QCOMPARE(link.refusals, 2);
    link.open = true;
    link.accepts = false;
    service.sendLinearCalib();
    QVERIFY(link.sent.isEmpty());
    QVERIFY(messages.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceRequests)
#include "tst_servicerequests.moc"
