#include "window/ActionFeedback.h"
#include "bridge/AppBridge.h"
#include "window/FieldEdits.h"
#include "window/LinkMonitor.h"
#include "window/MessageJournal.h"
#include "window/UpgradeMonitor.h"
#include "support/ProgramRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/TestLocale.h"
#include "support/Unprivileged.h"
#include "support/Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;
}

class TestOperator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useChineseLocale(); }
    void init();
    void logOfAWindowRefusedItsPortSaysWhy();
    void linkFollowsTheController();
    void silentHeartbeatsMeanLinkLostAndRecover();
    void valuesAreBlankThenLiveThenStale();
    void journalKeepsEntriesAcrossLanguageAndSaves();
    void shownEntriesCatchUpWholeAndInOrder_data();
    void shownEntriesCatchUpWholeAndInOrder();
    void feedbackFollowsTheAction();
    void onlyTheActionsOwnErrorsFailIt_data();
    void onlyTheActionsOwnErrorsFailIt();
    void upgradePanelStates();
};

void TestOperator::init()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/zentaro.cfg"));
}

// The real window, started on a port its user may not open (root opens any
// device, so a test run as root starts it as "nobody"), headless until its
// first frame: its message log, which it echoes to standard error without a
// console, gives the reason with the remedy, in the stored language over the locale's.
void TestOperator::logOfAWindowRefusedItsPortSaysWhy()
{
    PseudoTerminal pty;
    QVERIFY(shutOutUnprivileged(pty.slaveName(), true));
    SharedFolder folder;
    if (!folder.isReachable())
        QSKIP("the unprivileged user cannot reach the temporary folder; point TMPDIR at a folder every user can pass through");
    const QString tavox = folder.copyProgram(QStringLiteral("tavox"));
    QVERIFY(writeFile(folder.filePath(QStringLiteral("zentaro.cfg")), "[General]\nlanguage=zh\n"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    environment.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    const ProgramRun run = folder.run(tavox, {QStringLiteral("--port"), pty.slaveName()}, environment);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));

    const PortRefusal refusal = PortRefusal::permissionDenied(groupOf(pty.slaveName()));
    const QString expected = QStringLiteral("] 串口打开失败: %1 (%2)\n").arg(pty.slaveName(), refusal.zh());
    QVERIFY2(run.err.contains(expected), qPrintable(run.err));
}

void TestOperator::linkFollowsTheController()
{
    SimProcess sim({QStringLiteral("--firmware"), QStringLiteral("1.0.0.60"), QStringLiteral("--reboot-ms"),
                    QStringLiteral("4000")});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    LinkMonitor monitor(bridge);
    QCOMPARE(monitor.statusText(), QStringLiteral("Not connected"));
    QVERIFY(!monitor.deviceReady());
    QCOMPARE(monitor.blockedReason(), QStringLiteral("Open the serial port first"));

    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QCOMPARE(monitor.statusText(), QStringLiteral("Connecting to %1…").arg(sim.portName()));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.statusText(),
                              QStringLiteral("Connected to %1 — firmware 1.0.0.60").arg(sim.portName()), ProcessWaitMs);
    QVERIFY(monitor.telemetryLive());
    QVERIFY(monitor.writesAllowed());
    bridge.setLanguage(QStringLiteral("zh"));
    QCOMPARE(monitor.statusText(), QStringLiteral("已连接 %1 — 固件 1.0.0.60").arg(sim.portName()));
    bridge.setLanguage(QStringLiteral("en"));

    bridge.tavoxSendCalibration(4);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::Restarting, ProcessWaitMs);
    QCOMPARE(monitor.statusText(), QStringLiteral("Controller restarting…"));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::Connected, 2 * ProcessWaitMs);

    QCOMPARE(sim.stop(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::PortLost, ProcessWaitMs);
    QCOMPARE(monitor.statusText(), QStringLiteral("Port lost: %1").arg(sim.portName()));
    QVERIFY(!monitor.telemetryLive());
}

void TestOperator::silentHeartbeatsMeanLinkLostAndRecover()
{
    // A controller that answers requests but sends no heartbeat.
    SimProcess silent({QStringLiteral("--hb-rate"), QStringLiteral("0")});
    QVERIFY(silent.start());
    AppBridge bridge;
    LinkMonitor monitor(bridge);
    QSignalSpy changed(&monitor, &LinkMonitor::changed);
    QElapsedTimer sinceOpen;
    qint64 answeredMs = -1;
    LinkMonitor::State answered = LinkMonitor::NotConnected;
    const QMetaObject::Connection watching = connect(&monitor, &LinkMonitor::changed, this, [&] {
        if (answeredMs < 0 && monitor.state() != LinkMonitor::Connecting) {
            answeredMs = sinceOpen.elapsed();
            answered = monitor.state();
        }
    });
    sinceOpen.start();
    QVERIFY(bridge.openSerial(silent.portName(), Baud));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::LinkLost, ProcessWaitMs);
    // Connected on the answer, while the heartbeat allowance runs; an answer a busy machine brought only
    // after the allowance goes straight to lost.
    if (answeredMs < LinkMonitor::HeartbeatTimeoutMs)
        QCOMPARE(answered, LinkMonitor::Connected);
    QVERIFY(monitor.valuesLive());
    QVERIFY(!monitor.telemetryLive());
    QVERIFY(bridge.serialOpened());
    disconnect(watching);

    SimProcess talking;
    QVERIFY(talking.start());
    QStringList shownConnected;
    connect(&monitor, &LinkMonitor::changed, this, [&] {
        if (monitor.state() == LinkMonitor::Connected)
            shownConnected << monitor.statusText();
    });
    QVERIFY(bridge.openSerial(talking.portName(), Baud));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), LinkMonitor::Connected, ProcessWaitMs);
    QVERIFY(monitor.telemetryLive());
    // The firmware shown is the one this controller reported, not the last one's.
    QTRY_VERIFY_WITH_TIMEOUT(monitor.statusText().contains(QStringLiteral("固件")), ProcessWaitMs);
    QVERIFY(!shownConnected.first().contains(QStringLiteral("固件")));
    // Steady heartbeats do not wake the window, not even when the monitor renews the allowance they keep.
    const int changesWhileSteady = changed.count();
    QVERIFY(runTimersDueWithin(LinkMonitor::HeartbeatTimeoutMs + 300));
    QCOMPARE(monitor.state(), LinkMonitor::Connected);
    QCOMPARE(changed.count(), changesWhileSteady);
}


void TestOperator::valuesAreBlankThenLiveThenStale()
{
    SimProcess first;
    SimProcess second;
    QVERIFY(first.start() && second.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    LinkMonitor monitor(bridge);
    // a receiver connected after the monitor, as the window's bindings are
    int valuesSeen = -1;
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, [&] { valuesSeen = bridge.tavoxCameraPosition(); });
    QList<int> valuesAtArrival;
    connect(&monitor, &LinkMonitor::parametersArrived, this, [&] { valuesAtArrival.append(valuesSeen); });
    QVERIFY(!monitor.valuesKnown());
    QCOMPARE(monitor.valuesNote(), QStringLiteral("No values read yet"));

    QVERIFY(bridge.openSerial(first.portName(), Baud));
    QVERIFY(!monitor.writesAllowed());
    QTRY_VERIFY_WITH_TIMEOUT(monitor.valuesLive(), ProcessWaitMs);
    QVERIFY(monitor.valuesNote().isEmpty());
    QCOMPARE(valuesAtArrival, QList<int> {bridge.tavoxCameraPosition()});

    // a write updates the bridge's copy but is no read, and announces none (it would be queued: delivered by now)
    const int blocks = bridge.parameters().blocksReceived();
    bridge.tavoxWriteCameraPosition(1 - bridge.tavoxCameraPosition());
    QCOMPARE(valuesSeen, bridge.tavoxCameraPosition());
    QCOMPARE(bridge.parameters().blocksReceived(), blocks);
    QCoreApplication::processEvents();
    QCOMPARE(valuesAtArrival.size(), 1);
    bridge.tavoxReadParams();
    QTRY_COMPARE_WITH_TIMEOUT(valuesAtArrival.size(), 2, ProcessWaitMs);

    bridge.closeSerial();
    QVERIFY(monitor.valuesKnown() && !monitor.valuesLive());
    QVERIFY2(monitor.valuesNote().startsWith(QStringLiteral("Values read at ")), qPrintable(monitor.valuesNote()));

    QVERIFY(bridge.openSerial(second.portName(), Baud));
    QVERIFY(!monitor.valuesLive());
    QVERIFY(!monitor.writesAllowed());
    QTRY_VERIFY_WITH_TIMEOUT(monitor.valuesLive(), ProcessWaitMs);
    QVERIFY(monitor.writesAllowed());
}

// The journal takes over what the bridge logged before it, in the language then, and keeps the kind it showed
// (the first hint after the start is no refusal); the session record escapes what would break its lines.
void TestOperator::journalKeepsEntriesAcrossLanguageAndSaves()
{
    AppBridge bridge;
    bridge.tavoxOnStartup();
    bridge.tavoxOnStartup();   // the hint is given once
    bridge.tavoxReadParams();
    bridge.setLanguage(QStringLiteral("en"));
    MessageJournal journal(bridge);
    QVERIFY(!bridge.tavoxRequireSerial());
    bridge.messages().report(Message::info(QStringLiteral("甲\t乙\n丙"), QStringLiteral("one\ttwo\nthree \\n")));
    QVERIFY(journal.plainText().contains(QStringLiteral("请您先打开串口")));
    QVERIFY(journal.plainText().endsWith(QStringLiteral("one\ttwo\nthree \\n")));
    QStringList recorded = QString::fromUtf8(journal.session().toTabSeparated()).split(QLatin1Char('\n')).mid(1, 5);
    for (QString &line : recorded)
        line = line.section(QLatin1Char('\t'), 1);
    QCOMPARE(recorded, (QStringList {QStringLiteral("info\tzh\t应用已启动"), QStringLiteral("info\tzh\t请您先打开串口"),
                                     QStringLiteral("error\tzh\t请您先打开串口"),
                                     QStringLiteral("error\ten\tPlease open serial port first"),
                                     QStringLiteral("info\ten\tone\\ttwo\\nthree \\\\n")}));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    journal.setFileNameChooser([&](const QString &, const QString &) { return path; });
    journal.saveAs();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()).count(QLatin1Char('\n')), 6);
    QCOMPARE(journal.data(journal.index(5), MessageJournal::KindRole).toInt(), int(MessageJournal::Success));

    journal.clear();
    QCOMPARE(journal.count(), 0);
    QVERIFY(bridge.messageLog().isEmpty());
}

void TestOperator::shownEntriesCatchUpWholeAndInOrder_data()
{
    QTest::addColumn<int>("before");   // entries the view has taken up
    QTest::addColumn<int>("burst");    // then logged in one go
    QTest::newRow("one") << 0 << 1;
    QTest::newRow("a burst after some") << 40 << 40;
    QTest::newRow("the oldest shown make room") << 350 << 300;
    QTest::newRow("more than are kept at once") << 0 << MessageJournal::MaxEntries + 150;
}

// What the log view shows comes a moment late, but it is the journal's every entry, in its order.
void TestOperator::shownEntriesCatchUpWholeAndInOrder()
{
    QFETCH(int, before);
    QFETCH(int, burst);
    AppBridge bridge;
    MessageJournal journal(bridge);
    const QAbstractItemModel &shown = *journal.shown();
    const auto rows = [](const QAbstractItemModel &model) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts.append(model.data(model.index(row, 0), MessageJournal::TextRole).toString()
                         + model.data(model.index(row, 0), MessageJournal::KindRole).toString());
        return texts;
    };
    for (int n = 0; n < before; ++n)
        bridge.messages().report(Message::success(QString::number(n), QString::number(n)));
    QTRY_COMPARE(rows(shown), rows(journal));
    for (int n = 0; n < burst; ++n)
        bridge.messages().append(QStringLiteral("burst %1").arg(n));
    QTRY_COMPARE(rows(shown), rows(journal));
}

void TestOperator::feedbackFollowsTheAction()
{
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    MessageJournal journal(bridge);
    ActionFeedback feedback(bridge, journal);
    LinkMonitor monitor(bridge);
    const QString read = QStringLiteral("read");

    feedback.begin(read, ActionFeedback::ParamsRead);
    bridge.tavoxReadParams();
    QCOMPARE(feedback.state(read), ActionFeedback::Failed);
    QCOMPARE(feedback.text(read), QStringLiteral("Failed: Please open serial port first"));

    // A line nobody answers on: the request was sent, the window waits, the protocol does not time out.
    PseudoTerminal pty;
    QVERIFY(bridge.openSerial(pty.slaveName(), Baud));
    QTRY_COMPARE(monitor.state(), LinkMonitor::NoAnswer);
    QCOMPARE(monitor.statusText(), QStringLiteral("No answer from the controller on %1").arg(pty.slaveName()));
    QCOMPARE(monitor.writeBlockedReason(), QStringLiteral("Read the controller's parameters first"));
    QVERIFY(!pty.received().isEmpty());
    feedback.begin(read, ActionFeedback::ParamsRead);
    bridge.tavoxReadParams();
    QCOMPARE(feedback.text(read), QStringLiteral("Working…"));
    QTRY_COMPARE(feedback.state(read), ActionFeedback::NoReply);
    QCOMPARE(feedback.text(read), QStringLiteral("No reply within 2 s"));
    bridge.closeSerial();

    SimProcess sim;
    QVERIFY(sim.start());
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.parameters().blocksReceived() > 0, ProcessWaitMs);
    const QString torque = QStringLiteral("torque");
    feedback.begin(torque, ActionFeedback::CommandReply);
    bridge.tavoxWriteTorque(100, 200, 300);
    QTRY_COMPARE_WITH_TIMEOUT(feedback.state(torque), ActionFeedback::Done, ProcessWaitMs);
    QCOMPARE(feedback.text(torque), QStringLiteral("Done"));
    // "Done" does not outlive a new open, nor stand beside a new edit.
    bridge.closeSerial();
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QCOMPARE(feedback.state(torque), ActionFeedback::Idle);
    feedback.begin(torque, ActionFeedback::CommandReply);
    bridge.tavoxWriteTorque(100, 200, 300);
    QTRY_COMPARE_WITH_TIMEOUT(feedback.state(torque), ActionFeedback::Done, ProcessWaitMs);
    FieldEdits edits;
    feedback.followEdits(torque, &edits);
    edits.setDevice(QStringLiteral("roll"), 200);
    edits.setShown(QStringLiteral("roll"), 12345);
    QCOMPARE(feedback.state(torque), ActionFeedback::Idle);
}

void TestOperator::onlyTheActionsOwnErrorsFailIt_data()
{
    QTest::addColumn<int>("awaits");
    QTest::addColumn<unsigned>("answers");
    QTest::addColumn<bool>("fails");
    const int read = ActionFeedback::ParamsRead, command = ActionFeedback::CommandReply,
              version = ActionFeedback::VersionReply;

    QTest::newRow("read refused") << read << OperatorAction::AnyDeviceAction << true;
    QTest::newRow("command refused") << command << OperatorAction::AnyDeviceAction << true;
    QTest::newRow("query refused") << version << OperatorAction::AnyDeviceAction << true;
    QTest::newRow("read, nobody's") << read << OperatorAction::None << false;
    QTest::newRow("command, upgrade's") << command << OperatorAction::Upgrade << false;
    QTest::newRow("query, upgrade's") << version << OperatorAction::Upgrade << false;
    QTest::newRow("read, command's") << read << OperatorAction::Command << false;
    QTest::newRow("command, read's or command's") << command << (OperatorAction::Read | OperatorAction::Command) << true;
}

void TestOperator::onlyTheActionsOwnErrorsFailIt()
{
    QFETCH(int, awaits);
    QFETCH(unsigned, answers);
    QFETCH(bool, fails);
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    MessageJournal journal(bridge);
    ActionFeedback feedback(bridge, journal);
    const QString action = QStringLiteral("action");
    feedback.begin(action, ActionFeedback::Awaits(awaits));
    const QString info = QStringLiteral("no error");
    bridge.messages().report(Message::info(info, info, MessageTopic::None, answers));
    QCOMPARE(feedback.state(action), ActionFeedback::Working);
    const QString error = QStringLiteral("an error");
    bridge.messages().report(Message::error(error, error, MessageTopic::None, answers));
    QCOMPARE(feedback.state(action), fails ? ActionFeedback::Failed : ActionFeedback::Working);
    if (fails)
        QCOMPARE(feedback.text(action), QStringLiteral("Failed: an error"));
}

void TestOperator::upgradePanelStates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QVERIFY(writeFile(path, randomImage(64 * 40)));

    SimProcess sim({QStringLiteral("--fault-silent-after"), QStringLiteral("10")});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    bridge.setUpgradeFileChooser([&](const QString &, const QString &, const QString &) { return path; });
    UpgradeMonitor monitor(bridge);
    bridge.tavoxSelectUpgradeFile();
    QCOMPARE(monitor.fileName(), QStringLiteral("fw.bin"));
    QCOMPARE(monitor.fileSizeText(), QStringLiteral("2560 bytes"));

    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("1.0.0.60"), ProcessWaitMs);
    QVERIFY(!monitor.versionsStale());
    QCOMPARE(monitor.versionsNote(), QString());
    bridge.tavoxStartUpgrade(path);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.phase(), UpgradeMonitor::Writing, ProcessWaitMs);
    QVERIFY(monitor.phaseText().startsWith(QStringLiteral("Writing ")));
    QTRY_VERIFY_WITH_TIMEOUT(monitor.progress() > 0, ProcessWaitMs);

    bridge.closeSerial();
    QTRY_COMPARE(monitor.result(), UpgradeMonitor::Failed);
    QVERIFY2(monitor.resultText().contains(QStringLiteral("Upgrade aborted: serial port closed")), qPrintable(monitor.resultText()));
    QVERIFY(monitor.resultText().endsWith(QStringLiteral("open the port and run the upgrade again.")));   // no cable to blame
    QVERIFY(monitor.versionsStale());
    QCOMPARE(monitor.versionsNote(), QStringLiteral("(last seen)"));
    QVERIFY(monitor.versionsStaleHint().contains(QStringLiteral("before the port closed")));

    // the next open, which may be another controller, ends the result; the
    // versions stay marked until the attached controller answers
    SimProcess healthy({QStringLiteral("--firmware"), QStringLiteral("1.0.0.61")});
    QVERIFY(healthy.start());
    QVERIFY(bridge.openSerial(healthy.portName(), Baud));
    QCOMPARE(monitor.result(), UpgradeMonitor::NoResult);
    QCOMPARE(monitor.progress(), 0);
    QVERIFY(monitor.versionsStale());
    QVERIFY(monitor.versionsStaleHint().contains(QStringLiteral("waiting for the attached controller")));
    QTRY_VERIFY_WITH_TIMEOUT(!monitor.versionsStale(), ProcessWaitMs);
    QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("1.0.0.61"));
    QCOMPARE(monitor.versionsNote(), QString());

    bridge.tavoxStartUpgrade(path);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.result(), UpgradeMonitor::Succeeded, ProcessWaitMs);
    QCOMPARE(monitor.progress(), 100);
    QCOMPARE(monitor.phase(), UpgradeMonitor::Idle);
    QCOMPARE(monitor.resultText(), QStringLiteral("Upgrade succeeded; the controller is restarting"));

    bridge.closeSerial();
    QCOMPARE(monitor.resultText(), QStringLiteral("Upgrade succeeded"));
    QVERIFY(bridge.openSerial(healthy.portName(), Baud));
    QCOMPARE(monitor.result(), UpgradeMonitor::NoResult);
    QCOMPARE(monitor.resultText(), QString());
    QCOMPARE(monitor.progress(), 0);

    bridge.tavoxStartUpgrade(path);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.result(), UpgradeMonitor::Succeeded, ProcessWaitMs);
    bridge.tavoxSelectUpgradeFile();
    QCOMPARE(monitor.result(), UpgradeMonitor::NoResult);
    QCOMPARE(monitor.progress(), 0);
}

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
