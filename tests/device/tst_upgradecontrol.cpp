// The upgrade from the operator's side, over a link double: the checks before
// a start with real files, and what follows a completed upgrade.
#include "device/UpgradeControl.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace Cmd = UpgradeCommand;

class TestUpgradeControl : public QObject
{
    Q_OBJECT

private slots:
    void refusalsSayWhy_data();
    void refusalsSayWhy();
    void startLoadsTheImageAndSendsTheErase();
    void completionAsksForTheNewVersionsTwice();
};

void TestUpgradeControl::refusalsSayWhy_data()
{
    QTest::addColumn<QString>("file");   // in a fresh folder
    QTest::addColumn<qint64>("size");    // -1: none
    QTest::addColumn<QString>("zh");
    QTest::addColumn<QString>("en");

    QTest::newRow("missing") << "none.bin" << qint64(-1) << "无法打开固件文件" << "Cannot open firmware file";
    QTest::newRow("empty") << "empty.bin" << qint64(0) << "固件文件为空" << "Firmware file is empty";
    QTest::newRow("one byte over the limit") << "big.bin" << UpgradeSession::MaxImageSize + 1 << "固件文件过大"
                                             << "Firmware file too large";
}

void TestUpgradeControl::refusalsSayWhy()
{
    QFETCH(QString, file);
    QFETCH(qint64, size);
    QFETCH(QString, zh);
    QFETCH(QString, en);
    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    QFile image(path);
    if (size >= 0)
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(size));   // sparse: cheap even past the limit

    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    UpgradeControl upgrade(link, messages, telemetry);
    upgrade.start(path);
    QVERIFY(!upgrade.driver().active());
    QVERIFY(link.sent.isEmpty());
    QCOMPARE(messages.messages.size(), 1);
    const Message refusal = messages.messages.first();
    QCOMPARE(refusal.text.zh, zh);
    QCOMPARE(refusal.text.en, en);
    QCOMPARE(refusal.meaning.kind, MessageKind::Error);
    QCOMPARE(refusal.meaning.topic, MessageTopic::UpgradeFailed);
    QCOMPARE(refusal.meaning.answers, OperatorAction::Upgrade);
}

void TestUpgradeControl::startLoadsTheImageAndSendsTheErase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QVERIFY(writeFile(path, QByteArray(130, 'x')));
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    UpgradeControl upgrade(link, messages, telemetry);

    link.open = false;
    upgrade.start(path);
    QCOMPARE(link.refusals, 1);
    QVERIFY(messages.messages.isEmpty());

    link.open = true;
    upgrade.start(path);
    QVERIFY(upgrade.driver().active());
    QCOMPARE(upgrade.driver().session().image().size(), 130);
    QCOMPARE(link.sent.size(), 1);
    ParsedFrame erase;
    QByteArray buffer = link.sent.first();
    QVERIFY(extractFrame(buffer, erase));
    QCOMPARE(int(erase.v1CommandId), int(Cmd::Erase));
    QCOMPARE(messages.english().mid(0, 3),
             (QStringList { QStringLiteral("Starting upgrade, size: 130 bytes"),
                            QStringLiteral("Firmware SHA-256: 3afbb132863c57f08bdc32205eb6c63775397a9953819218a1f4b7cbdc0ff90f"),
                            QStringLiteral("Erasing firmware...") }));

    upgrade.start(path);
    QCOMPARE(link.sent.size(), 1);
    QCOMPARE(messages.messages.last().text.zh, QStringLiteral("升级正在进行中，请等待"));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Error);
    QCOMPARE(messages.messages.last().meaning.topic, MessageTopic::None);
    upgrade.driver().abortForClosedLink();
}

void TestUpgradeControl::completionAsksForTheNewVersionsTwice()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QVERIFY(writeFile(path, QByteArray(10, 'x')));
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    telemetry.handleVersionReply(QByteArray(8, '\x01'));
    UpgradeControl upgrade(link, messages, telemetry);
    QSignalSpy completed(&upgrade.driver(), &UpgradeDriver::completed);

    upgrade.start(path);
    const auto answer = [&upgrade](quint8 id, const QByteArray &payload = {}) {
        upgrade.driver().handleReply(ParsedFrame { 1, id, 0, 0, id, payload, true });
    };
    answer(Cmd::EraseDone);
    answer(Cmd::StartReply, QByteArray(1, '\0'));
    answer(Cmd::DataAck);
    answer(Cmd::VerifyResult, QByteArray(1, char(0x03)));
    QVERIFY(completed.wait(5000));
    QCOMPARE(link.sent.last(), UpgradeSession::softResetFrame());
    QCOMPARE(messages.english().last(), QStringLiteral("Upgrade completed!"));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Success);
    QCOMPARE(telemetry.firmwareVersion(), QStringLiteral("-"));

    const int sentBefore = link.sent.size();
    QCOMPARE(link.runFollowUps(), (QVector<int> { 3000, 6000 }));
    const QByteArray query = buildFrameV1(CommandSet::General, 0x01, QByteArray());
    QCOMPARE(link.sent.mid(sentBefore), (QByteArrayList { query, query }));
}

QTEST_GUILESS_MAIN(TestUpgradeControl)
#include "tst_upgradecontrol.moc"
