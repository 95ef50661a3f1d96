// tavoxctl calibrate, the real program against the real simulated controller.
#include "support/CtlRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"

#include <QtTest>

class TestCliCalibrate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_sim.start()); }
    void calibrateIsAcknowledged_data();
    void calibrateIsAcknowledged();
    void calibrateSilentController();

private:
    SimProcess m_sim{{"--accel-step-ms", "50", "--verbose"}};
};

// The accelerometer's calibration names each face the operator turns the
// gimbal to; the others are acknowledged at once.
void TestCliCalibrate::calibrateIsAcknowledged_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("subCommand");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("accel") << "accel" << "8F"
                           << QStringList{"face 1 of 6: Accel Calib: UP", "face 2 of 6: Accel Calib: FRONT",
                                          "face 3 of 6: Accel Calib: DOWN", "face 4 of 6: Accel Calib: BACK",
                                          "face 5 of 6: Accel Calib: LEFT", "face 6 of 6: Accel Calib: RIGHT",
                                          "Accel Calib: Calculating...", "Accel Calib succeeded"};
    QTest::newRow("gyro") << "gyro" << "9D" << QStringList{"Gyro Bias Update succeeded"};
    QTest::newRow("hall") << "hall" << "8D" << QStringList{"Hall Calib succeeded"};
    QTest::newRow("linear") << "linear" << "9B" << QStringList{"Linear Calib succeeded"};
    QTest::newRow("zero") << "zero" << "8E" << QStringList{"Zero Calib succeeded"};
}

void TestCliCalibrate::calibrateIsAcknowledged()
{
    QFETCH(QString, kind);
    QFETCH(QString, subCommand);
    QFETCH(QStringList, messages);
    const int logBefore = m_sim.errorOutput().size();
    const ProgramRun run = runOn(m_sim, {"calibrate", kind});
    QVERIFY2(run.exitCode == 0 && run.out.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.err.trimmed().split(QLatin1Char('\n')), messages);
    const QString log = m_sim.errorOutput().mid(logBefore);
    QCOMPARE(log.count(QStringLiteral("RX command 0x")), 1);
    QVERIFY2(log.contains(QStringLiteral("RX command 0x") + subCommand), qPrintable(log));
}

void TestCliCalibrate::calibrateSilentController()
{
    PseudoTerminal silent;
    silent.releaseLine();
    const ProgramRun run = runCtl({"-p", silent.slaveName(), "-t", "1", "calibrate", "zero"});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains(QLatin1String("no reply from the controller (waiting for Zero Calib)")), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCliCalibrate)
#include "tst_clicalibrate.moc"
