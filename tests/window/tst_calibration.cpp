#include "bridge/AppBridge.h"
#include "service/AutoReconnect.h"
#include "window/CalibrationGuide.h"
#include "support/FakeBridge.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;
const int ShortTimeoutMs = 300;

const QString WaitingText = QStringLiteral("○ Waiting for device...");
const QString DoneText = QStringLiteral("✓ Done! Click Activate → Restart");
const QString CancelledText = QStringLiteral("Accelerometer calibration cancelled. The controller has no command to "
                                             "stop it; further progress of this run is ignored.");
const QString RunFinishedText = QStringLiteral("The controller finished the accelerometer calibration that was %1. Its "
                                               "result is not applied until Activate → Restart; to calibrate, start "
                                               "Accel Calib again.");
const QString CancelledRunFinishedText = RunFinishedText.arg(QStringLiteral("cancelled"));
const QString InterruptedRunFinishedText = RunFinishedText.arg(QStringLiteral("interrupted"));

QString interruptedText(const QString &where)
{
    return QStringLiteral("Accelerometer calibration interrupted %1: the link ended. The controller may go on with "
                          "that run; its further progress is ignored. Click Retry once the link is back.")
        .arg(where);
}

}

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startSendsTheRequestAndWaits();
    void followsTheReportedSteps_data();
    void followsTheReportedSteps();
    void resultStaysUntilClosed();
    void silenceTimesOutAndEachReportRestartsTheClock();
    void afterASilenceALateReportOrRetryResumes();
    void runAfterOneStoppedAtTheFirstFaceShowsIt();
    void endedRunIgnoresLaterProgress_data();
    void endedRunIgnoresLaterProgress();
    void instructionFollowsTheLanguage();

    void hungUpLineInterruptsTheRun();

private:
    // Signalled even when repeated, so that a repeat is seen to change nothing.
    void report(int step);
    void startGuide();
    void waitOutTheSilenceAllowance();

    std::unique_ptr<FakeBridge> m_fake;
    std::unique_ptr<CalibrationGuide> m_guide;
    std::unique_ptr<QSignalSpy> m_log;
};

void TestCalibration::init()
{
    m_guide.reset();
    m_fake = std::make_unique<FakeBridge>();
    m_fake->setProperty("language", QStringLiteral("en"));
    m_fake->setProperty("serialOpened", true);
    m_guide = std::make_unique<CalibrationGuide>();
    m_guide->setSource(m_fake.get());
    m_guide->setTimeoutMs(ShortTimeoutMs);
    m_log = std::make_unique<QSignalSpy>(m_guide.get(), &CalibrationGuide::logMessage);
}

void TestCalibration::report(int step)
{
    m_fake->setProperty("accelCaliState", step);
    emit m_fake->accelCaliStateChanged();
}

void TestCalibration::startGuide()
{
    QVERIFY(m_guide->start());
    QCOMPARE(m_guide->state(), CalibrationGuide::Waiting);
}

// Runs the event loop until a second guide, started now with the same silence allowance and never answered,
// has timed out. Timers fire in the order they fall due, however late a busy machine runs them: an allowance
// the guide under test started earlier has run out by then, and would have been seen to.
void TestCalibration::waitOutTheSilenceAllowance()
{
    FakeBridge source;
    source.setProperty("serialOpened", true);
    CalibrationGuide control;
    control.setSource(&source);
    control.setTimeoutMs(m_guide->timeoutMs());
    QVERIFY(control.start());
    QTRY_COMPARE_WITH_TIMEOUT(control.state(), CalibrationGuide::TimedOut, ProcessWaitMs);
}

// Without a port the bridge is still asked: it is the one that tells the operator to open one.
void TestCalibration::startSendsTheRequestAndWaits()
{
    m_fake->setProperty("serialOpened", false);
    QVERIFY(!m_guide->start());
    QCOMPARE(m_guide->state(), CalibrationGuide::Idle);
    report(3);
    QCOMPARE(m_guide->state(), CalibrationGuide::Idle);
    QCOMPARE(m_guide->step(), -1);

    // The previous run's last report is no progress of this one.
    m_fake->setProperty("serialOpened", true);
    report(8);
    startGuide();
    QCOMPARE(m_fake->callNames(), (QStringList {QStringLiteral("tavoxSendCalibration"),
                                                QStringLiteral("tavoxSendCalibration")}));
    QCOMPARE(m_fake->lastArgs(QStringLiteral("tavoxSendCalibration")).toList(), QVariantList {2});
    QVERIFY(m_guide->active() && m_guide->running());
    QCOMPARE(m_guide->step(), -1);
    QCOMPARE(m_guide->instruction(), WaitingText);
}

void TestCalibration::followsTheReportedSteps_data()
{
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("doneCount");
    QTest::addColumn<QString>("instruction");

    const int placing = CalibrationGuide::Placing;
    QTest::newRow("first face") << QList<int> {1} << placing << 1 << 0 << QStringLiteral("● Place device UP");
    QTest::newRow("midway") << QList<int> {1, 2, 3, 4} << placing << 4 << 3 << QStringLiteral("● Place device BACK");
    QTest::newRow("skipped and repeated") << QList<int> {1, 5, 5} << placing << 5 << 4 << QStringLiteral("● Place device LEFT");
    QTest::newRow("computing") << QList<int> {6, 7} << int(CalibrationGuide::Computing) << 7 << 6
                               << QStringLiteral("○ Calculating...");
    QTest::newRow("succeeded") << QList<int> {7, 8} << int(CalibrationGuide::Succeeded) << 8 << 6 << DoneText;
    QTest::newRow("out of range keeps the last step") << QList<int> {2, 0, 9, -2147483647 - 1} << placing << 2 << 1
                                                      << QStringLiteral("● Place device FRONT");
}

void TestCalibration::followsTheReportedSteps()
{
    QFETCH(QList<int>, steps);
    QFETCH(int, state);
    QFETCH(int, step);
    QFETCH(int, doneCount);
    QFETCH(QString, instruction);

    startGuide();
    for (int reported : steps)
        report(reported);
    QCOMPARE(int(m_guide->state()), state);
    QCOMPARE(m_guide->step(), step);
    QCOMPARE(m_guide->doneCount(), doneCount);
    QCOMPARE(m_guide->instruction(), instruction);
    QCOMPARE(m_log->count(), 0);
}

void TestCalibration::resultStaysUntilClosed()
{
    startGuide();
    report(8);
    QSignalSpy changes(m_guide.get(), &CalibrationGuide::changed);
    waitOutTheSilenceAllowance();
    QCOMPARE(changes.count(), 0);
    QCOMPARE(m_guide->state(), CalibrationGuide::Succeeded);

    report(2);
    QCOMPARE(m_guide->state(), CalibrationGuide::Succeeded);

    m_guide->close();
    QCOMPARE(m_guide->state(), CalibrationGuide::Idle);
    QCOMPARE(m_guide->step(), -1);
    QCOMPARE(m_log->count(), 0);
    QVERIFY(!m_guide->reportsCancelledRun());

    // A result goes with the link, without a word: nothing was under way.
    startGuide();
    report(8);
    m_fake->setProperty("serialOpened", false);
    QCOMPARE(m_guide->state(), CalibrationGuide::Idle);
    QCOMPARE(m_log->count(), 0);
}

void TestCalibration::silenceTimesOutAndEachReportRestartsTheClock()
{
    m_guide->setTimeoutMs(1000);
    startGuide();
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY(clock.elapsed() >= 600);
    report(1);
    QElapsedTimer sinceReport;
    sinceReport.start();
    QVERIFY(m_log->wait(5000));
    // Timed from the report (a coarse timer may fire 5 % early), not from the
    // start, which would have ended it at most 450 ms after the report.
    QVERIFY2(sinceReport.elapsed() >= 900, qPrintable(QString::number(sinceReport.elapsed())));
    QCOMPARE(m_guide->state(), CalibrationGuide::TimedOut);
    QVERIFY(m_guide->active());
    QVERIFY(!m_guide->running());
    const QString silence = QStringLiteral("No progress from the device for 1 s. Check the device and the cable, "
                                           "then click Retry.");
    QCOMPARE(m_guide->instruction(), silence);
    QCOMPARE(m_log->takeFirst().at(0).toString(), silence);
    QCOMPARE(m_guide->step(), 1);
}

// A late report after a silence resumes the run and is watched again; Retry asks again from the first face.
void TestCalibration::afterASilenceALateReportOrRetryResumes()
{
    startGuide();
    report(2);
    QTRY_COMPARE(m_guide->state(), CalibrationGuide::TimedOut);
    report(3);
    QCOMPARE(m_guide->state(), CalibrationGuide::Placing);
    QCOMPARE(m_guide->step(), 3);
    QTRY_COMPARE(m_guide->state(), CalibrationGuide::TimedOut);
    QCOMPARE(m_log->count(), 2);

    QVERIFY(m_guide->retry());
    QCOMPARE(m_fake->callNames(), (QStringList {QStringLiteral("tavoxSendCalibration"),
                                                QStringLiteral("tavoxSendCalibration")}));
    QCOMPARE(m_guide->state(), CalibrationGuide::Waiting);
    QCOMPARE(m_guide->step(), -1);
    QCOMPARE(m_guide->doneCount(), 0);
    report(1);
    QCOMPARE(m_guide->state(), CalibrationGuide::Placing);
}

// The bridge signals a report only when it differs from the last one.
void TestCalibration::runAfterOneStoppedAtTheFirstFaceShowsIt()
{
    m_fake->setProperty("accelCaliState", 1);
    QVERIFY(m_guide->start());
    QCOMPARE(m_guide->state(), CalibrationGuide::Placing);
    QCOMPARE(m_guide->step(), 1);
    // So does a retry after a silence there: the controller asks for the first face again, unsignalled.
    QTRY_COMPARE(m_guide->state(), CalibrationGuide::TimedOut);
    QVERIFY(m_guide->retry());
    QCOMPARE(m_guide->state(), CalibrationGuide::Placing);
    QCOMPARE(m_guide->step(), 1);
    report(2);
    QCOMPARE(m_guide->step(), 2);
}

void TestCalibration::endedRunIgnoresLaterProgress_data()
{
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("where");
    QTest::newRow("cancelled at a face") << QList<int> {2} << false << true << QString();
    QTest::newRow("cancelled after a silence") << QList<int> {2} << true << true << QString();
    QTest::newRow("link ended before the first face") << QList<int> {} << false << false
                                                      << QStringLiteral("before the first face");
    QTest::newRow("link ended at a face") << QList<int> {1, 2, 3} << false << false << QStringLiteral("at face 3 of 6");
    QTest::newRow("link ended after a silence") << QList<int> {2} << true << false << QStringLiteral("at face 2 of 6");
    QTest::newRow("link ended calculating") << QList<int> {6, 7} << false << false << QStringLiteral("while calculating");
}

// The controller has no command that stops a calibration: an operator's cancel or the link's end leaves the
// run going on there, and its later reports are not the operator's.
void TestCalibration::endedRunIgnoresLaterProgress()
{
    QFETCH(QList<int>, steps);
    QFETCH(bool, silent);
    QFETCH(bool, cancelled);
    QFETCH(QString, where);
    startGuide();
    for (int reported : steps)
        report(reported);
    if (silent) {
        QTRY_COMPARE(m_guide->state(), CalibrationGuide::TimedOut);
        m_log->clear();
    }
    const int step = cancelled ? -1 : m_guide->step();
    const CalibrationGuide::State ended = cancelled ? CalibrationGuide::Idle : CalibrationGuide::Interrupted;
    const QString interruption = cancelled ? QString() : QStringLiteral("Interrupted %1: the link ended").arg(where);
    if (cancelled) {
        m_guide->close();
    } else {
        m_fake->setProperty("serialOpened", false);
        QVERIFY(m_guide->active() && !m_guide->running());
        QCOMPARE(m_guide->instruction(), QStringLiteral("✕ %1. Click Retry once the link is back.").arg(interruption));
    }
    QCOMPARE(m_guide->state(), ended);
    QCOMPARE(m_guide->step(), step);
    QCOMPARE(m_guide->interruption(), interruption);
    QCOMPARE(m_log->count(), 1);
    QCOMPARE(m_log->takeFirst().at(0).toString(), cancelled ? CancelledText : interruptedText(where));
    QVERIFY(m_guide->reportsCancelledRun());
    QCOMPARE(m_fake->callNames().size(), 1);

    // Nor does it time out, or follow the run the controller went on with, once the link is back.
    waitOutTheSilenceAllowance();
    m_fake->setProperty("serialOpened", true);
    QSignalSpy changes(m_guide.get(), &CalibrationGuide::changed);
    report(7);
    report(8);
    QCOMPARE(m_guide->state(), ended);
    QCOMPARE(m_guide->step(), step);
    QTRY_COMPARE(m_log->count(), 1);
    QCOMPARE(m_log->takeFirst().at(0).toString(), cancelled ? CancelledRunFinishedText : InterruptedRunFinishedText);
    QCOMPARE(changes.count(), 0);

    // Closed, the guide still tells where the run ended, until the next start.
    m_guide->close();
    QCOMPARE(m_guide->state(), CalibrationGuide::Idle);
    QCOMPARE(m_guide->interruption(), interruption);
    QCOMPARE(m_log->count(), 0);
    startGuide();
    QCOMPARE(m_guide->interruption(), QString());
    QVERIFY(!m_guide->reportsCancelledRun());
}

void TestCalibration::instructionFollowsTheLanguage()
{
    startGuide();
    report(3);
    QSignalSpy changes(m_guide.get(), &CalibrationGuide::changed);
    m_fake->setProperty("language", QStringLiteral("zh"));
    QVERIFY(changes.count() >= 1);
    QCOMPARE(m_guide->instruction(), QStringLiteral("● 请将设备倒放（下）面朝上"));
    m_guide->close();
    QCOMPARE(m_log->takeFirst().at(0).toString(),
             QStringLiteral("已取消加速度计校准。控制器没有停止校准的指令，本次校准之后的进度将被忽略。"));
}

// Back on the line, the controller finishes the run it went on with: its end is no success of the operator's.
void TestCalibration::hungUpLineInterruptsTheRun()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    // Timed from the calibration request, the first bytes on the line: faces 1 to 3 come before the hang-up,
    // the result long after the line is back.
    SimProcess sim({"--link", link, "--accel-step-ms", "500", "--fault-hangup-after", "1300", "--fault-return-after", "300"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    std::unique_ptr<CalibrationGuide> guide(CalibrationGuide::overBridge(bridge, nullptr));
    AutoReconnect reconnect(bridge);
    QSignalSpy reopened(&reconnect, &AutoReconnect::reopened);
    QVERIFY(bridge.openSerial(link, Baud));

    QVERIFY(guide->start());
    QTRY_COMPARE_WITH_TIMEOUT(guide->state(), CalibrationGuide::Placing, ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bridge.serialOpened(), ProcessWaitMs);
    QCOMPARE(guide->state(), CalibrationGuide::Interrupted);
    const QString where = QStringLiteral("at face %1 of 6").arg(guide->step());
    QVERIFY(bridge.messageLog().contains(interruptedText(where)));

    QVERIFY(reopened.wait(ProcessWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.accelCaliState(), 8, ProcessWaitMs);
    QCOMPARE(guide->state(), CalibrationGuide::Interrupted);
    QCOMPARE(guide->interruption(), QStringLiteral("Interrupted %1: the link ended").arg(where));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.messageLog().contains(InterruptedRunFinishedText), ProcessWaitMs);
    const QString after = bridge.messageLog().mid(bridge.messageLog().indexOf(interruptedText(where)));
    QVERIFY(!after.contains(QRegularExpression(QStringLiteral("Accel Calib(:| succeeded)"))));
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
