#include "app/WindowSize.h"
#include "bridge/AppBridge.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"
#include "support/WindowDriver.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What an operator does in the main window, start to end, with the mouse and
// the keyboard against the simulated controller: connecting, a value typed out
// of range, a write that restarts the controller, a calibration, the port
// switched off, a lost port that comes back and a firmware upgrade; no QML
// warning along the way, and pictures of each state. The wording of each state
// is the window's objects' to check (tst_operator, tst_calibration).
namespace {
// The buttons that ask something of the controller.
bool isDeviceAction(const QString &objectName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(readButton|writeButton|(sbus|pwm|crsf)(Read|Write)|calibButton.*|startButton|queryButton)$"));
    return pattern.match(objectName).hasMatch();
}
}

class WindowFlowsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void switchConnectsToTheSimulator();
    void outOfRangeTorqueIsShownAndNotSent();
    void sbusWriteActivatesAndReboots();
    void accelCalibrationAdvancesTheFaces();
    void switchOffReleasesThePort();
    void lostPortReconnectsByItself();
    void upgradeLocksOutEveryOtherAction();

private:
    QQuickWindow *window() const { return m_driver.window(); }
    AppBridge &bridge() const { return m_driver.bridge(); }
    QQuickItem *item(const char *objectName) const { return m_driver.item(objectName); }
    QString itemText(const char *objectName) const { return m_driver.itemText(objectName); }
    QQuickItem *shownItem(const char *objectName) const { return m_driver.shownItem(objectName); }
    void click(const char *objectName) { m_driver.click(objectName); }
    QStringList facePhases() const;
    bool inCalibrationView(const char *objectName) const;
    QStringList simReceived() const;
    QStringList enabledDeviceActions() const;
    void saveQuestionFrames(const QString &baseName, const char *asker);
    void confirmQuestion();

    WindowDriver m_driver;
    QTemporaryDir m_files;
};

void WindowFlowsTest::initTestCase()
{
    m_driver.start();
    if (QTest::currentTestFailed())
        return;
    // the pictures show the layout at the size it was drawn for
    m_driver.resizeWindow(designWindowSize());
}

void WindowFlowsTest::cleanupTestCase()
{
    m_driver.stop();
}

QStringList WindowFlowsTest::facePhases() const
{
    QStringList phases;
    for (int face = 1; face <= 6; ++face)
        phases.append(item(qPrintable(QStringLiteral("face%1").arg(face)))->property("phase").toString());
    return phases;
}

// Shown and wholly inside the window: the calibration guide needs no scrolling at any size.
bool WindowFlowsTest::inCalibrationView(const char *objectName) const
{
    const QQuickItem *target = item(objectName);
    const QRectF bounds = target->mapRectToScene(QRectF(0, 0, target->width(), target->height()));
    return target->isVisible() && QRectF(QPointF(0, 0), window()->size()).contains(bounds);
}

// Every frame the simulator received, described by its --verbose log, oldest first.
QStringList WindowFlowsTest::simReceived() const
{
    QStringList received;
    const QString marker = QStringLiteral("] RX ");
    for (const QString &line : m_driver.sim().errorOutput().split(QLatin1Char('\n'))) {
        const int at = line.indexOf(marker);
        if (at >= 0)
            received.append(line.mid(at + marker.size()));
    }
    return received;
}

QStringList WindowFlowsTest::enabledDeviceActions() const
{
    QList<QQuickItem *> buttons;
    collectButtons(window()->contentItem(), buttons);
    QStringList enabled;
    for (QQuickItem *button : qAsConst(buttons)) {
        if (isDeviceAction(button->objectName()) && button->isEnabled())
            enabled.append(button->objectName());
    }
    return enabled;
}

// The question `asker` opens, pictured in each language, then cancelled by keyboard: the keyboard is back on
// the button, with the ring.
void WindowFlowsTest::saveQuestionFrames(const QString &baseName, const char *asker)
{
    click(asker);
    QTRY_VERIFY(shownItem("confirmTitle"));
    m_driver.saveFrames(baseName);
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QVERIFY(item(asker)->property("visualFocus").toBool());
}

// As the operator does: a question starts on Cancel, the action is one Tab away.
void WindowFlowsTest::confirmQuestion()
{
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Return);
}

void WindowFlowsTest::switchConnectsToTheSimulator()
{
    QCOMPARE(item("serialPortCombo")->property("currentText").toString(), m_driver.sim().portName());
    click("serialSwitch");
    QTRY_VERIFY_WITH_TIMEOUT(bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(!item("serialPortCombo")->isEnabled());
    QVERIFY(!item("refreshButton")->isEnabled());

    // the simulator's parameters reach the combos, its version shows the CRSF tab
    QTRY_COMPARE_WITH_TIMEOUT(item("sbusPitch")->property("currentText").toString(), QStringLiteral("CH2"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("crsfTab")->isVisible(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(itemText("pitchValue") != QLatin1String("--"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("sbusWrite")->isEnabled(), ProcessWaitMs);
    VERIFY_NO_QML_WARNINGS();
}

// Typed above the range, a torque stays as typed, says the range and holds
// the write back: nothing reaches the controller until it is corrected.
void WindowFlowsTest::outOfRangeTorqueIsShownAndNotSent()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    QQuickItem *torque = item("pitchTorque");
    const int before = torque->property("value").toInt();
    scrollIntoView(findItem(torque, QStringLiteral("spinField")));
    click("pitchTorque");
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    m_driver.typeText(QStringLiteral("45000"));
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(torque->property("errorText").toString(), QStringLiteral("Out of range, allowed 1–30000"));
    QCOMPARE(torque->property("value").toInt(), before);
    QVERIFY(!findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    m_driver.saveFrame(QStringLiteral("window-out-of-range-en.png"));

    QTest::keyClick(window(), Qt::Key_Backtab);
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    m_driver.typeText(QString::number(before));
    QTest::keyClick(window(), Qt::Key_Return);
    QVERIFY(findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    QCOMPARE(simReceived().size(), alreadyReceived);
    VERIFY_NO_QML_WARNINGS();
}

void WindowFlowsTest::sbusWriteActivatesAndReboots()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    // the operator's choice: roll reversed, everything else as read from the device
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Up);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
    QCOMPARE(itemText("editCount"), QStringLiteral("1 unsaved"));
    QCOMPARE(m_driver.cutOffButtons(), QStringList());
    // the write restarts the controller: nothing goes out before the operator confirms
    saveQuestionFrames(QStringLiteral("window-confirm"), "sbusWrite");
    QCOMPARE(simReceived().size(), alreadyReceived);
    click("sbusWrite");
    QTRY_VERIFY(shownItem("confirmTitle"));
    confirmQuestion();
    // sent, and waiting for the controller's own values to confirm it
    QVERIFY(item("sbusRollDir")->property("unconfirmed").toBool());
    QCOMPARE(itemText("unconfirmedCount"), QStringLiteral("1 to confirm by Read"));

    const QStringList expected = {
        QStringLiteral("command 0xA0 para 0x00008002 0x00008004 0x00050006 0x00010001"),
        QStringLiteral("command 0x90 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("command 0x91 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("parameter read"),
    };
    QTRY_COMPARE_WITH_TIMEOUT(simReceived().mid(alreadyReceived, 4), expected, ProcessWaitMs);
    // the re-read after the restart brought the written value back: settled
    QTRY_VERIFY_WITH_TIMEOUT(!item("sbusRollDir")->property("unconfirmed").toBool(), ProcessWaitMs);
    QVERIFY(!item("sbusRollDir")->property("edited").toBool());
    QCOMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
    VERIFY_NO_QML_WARNINGS();
}

void WindowFlowsTest::accelCalibrationAdvancesTheFaces()
{
    bridge().setLanguage(QStringLiteral("en"));
    click("calibButton2");
    confirmQuestion();
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("● Place device DOWN"), ProcessWaitMs);
    const QString completed = QStringLiteral("completed");
    const QString pending = QStringLiteral("pending");
    QCOMPARE(facePhases(), (QStringList {completed, completed, QStringLiteral("current"), pending, pending, pending}));
    QCOMPARE(itemText("progressCounter"), QStringLiteral("2/6"));
    for (const char *part : {"caliStatusLabel", "progressCounter", "face1", "face6", "guideCloseButton",
                             "guideActivateButton", "guideRestartButton"})
        QVERIFY2(inCalibrationView(part), part);
    // the picture of the face to place has faded in
    QTRY_COMPARE(findItem(item("face3"), QStringLiteral("picture"))->opacity(), 1.0);
    m_driver.saveFrame(QStringLiteral("window-calibrating.png"));

    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Done! Click Activate → Restart"),
                              ProcessWaitMs);
    QCOMPARE(facePhases(), QVector<QString>(6, completed).toList());
    // the result moves on as the controller acknowledges Activate, then Restart, and stays until closed
    click("guideActivateButton");
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Activated. Click Restart"), ProcessWaitMs);
    click("guideRestartButton");
    QTRY_VERIFY(shownItem("confirmTitle"));
    confirmQuestion();
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Calibration applied; the controller restarted"),
                              2 * ProcessWaitMs);
    click("guideCloseButton");
    QTRY_VERIFY(!shownItem("caliStatusLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(item("sbusWrite")->isEnabled(), ProcessWaitMs);
    VERIFY_NO_QML_WARNINGS();
}

void WindowFlowsTest::switchOffReleasesThePort()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Down);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(itemText("unsavedSummary"), QStringLiteral("1 unsaved: Channels"));
    // An unwritten edit is asked about, by the window's close as by the switch; the focus starts on Cancel.
    window()->close();
    QTRY_VERIFY(shownItem("confirmAlternative"));
    QVERIFY2(itemText("confirmText").contains(QStringLiteral("Channels: SBUS Roll direction Normal")), qPrintable(itemText("confirmText")));
    m_driver.saveFrames(QStringLiteral("window-unsaved-question"));
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QVERIFY(window()->isVisible());
    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmAlternative"));
    QCOMPARE(simReceived().size(), alreadyReceived);
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Return);
    // written, with its activation and restart, before the port closes
    QTRY_VERIFY_WITH_TIMEOUT(!bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(simReceived().mid(alreadyReceived).contains(
        QStringLiteral("command 0x91 para 0x00000000 0x00000000 0x00000000 0x00000000")));
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("serialPortCombo")->isEnabled());
    // the last controller's values stay, and cannot be written
    QVERIFY(!item("writeButton")->isEnabled());
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-stale"));
}

// A controller whose cable is pulled and plugged back behind the same link is
// open again by itself, its parameters read again.
void WindowFlowsTest::lostPortReconnectsByItself()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    SimProcess returning({"--link", link, "--fault-hangup-after", "1500", "--fault-return-after", "1500",
                          "--fault-return-firmware", "9.9.9.9", "--verbose"});
    QVERIFY(returning.start());
    bridge().setLanguage(QStringLiteral("en"));
    m_driver.openPort(link);
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(item("serialSwitch")->property("checked").toBool());
    // An edit made for the controller that was there.
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Up);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(item("sbusRollDir")->property("edited").toBool());
    QVERIFY(!returning.waitForReturn().isEmpty());
    // Another controller answers: named as such, and the edit goes to it only when the operator says so.
    QTRY_COMPARE_WITH_TIMEOUT(itemText("linkStatusText"),
                              QStringLiteral("Another controller on %1 — firmware 9.9.9.9, was 1.0.0.60").arg(link),
                              ProcessWaitMs);
    QCOMPARE(itemText("editCount"), QStringLiteral("1 unsaved, made for another controller"));
    const int sentBefore = simReceivedFrames(returning.errorOutput()).size();
    click("sbusWrite");
    QTRY_VERIFY(shownItem("confirmTitle"));
    QCOMPARE(itemText("confirmTitle"), QStringLiteral("Write changes made for another controller?"));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QCOMPARE(simReceivedFrames(returning.errorOutput()).size(), sentBefore);
    click("revertButton");
    click("serialSwitch");
    QTRY_VERIFY(!bridge().serialOpened());
    VERIFY_NO_QML_WARNINGS();
}

// The upgrade's question, its lock on every other action and its result banner; what each result says
// is the upgrade monitor's to check (tst_operator), and so is a transfer that succeeds.
void WindowFlowsTest::upgradeLocksOutEveryOtherAction()
{
    bridge().setLanguage(QStringLiteral("en"));
    const QString path = m_files.filePath(QStringLiteral("tavox-fw.bin"));
    QVERIFY(writeFile(path, randomImage(48 * 1024)));
    bridge().setUpgradeFileChooser([path](const QString &, const QString &, const QString &) { return path; });
    // A controller that stops answering mid-transfer, and a watchdog that gives it minutes, keep the upgrade
    // under way for as long as the test needs it, however busy the machine.
    SimProcess stalling({QStringLiteral("--fault-silent-after"), QStringLiteral("100")});
    QVERIFY(stalling.start());
    bridge().setUpgradeReplyTimeouts({30000, 10000, 600000});
    m_driver.openPort(stalling.portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);

    click("browseButton");
    QTRY_COMPARE(itemText("fileInfo"), QStringLiteral("tavox-fw.bin  ·  49152 bytes"));
    click("startButton");
    QTRY_VERIFY(shownItem("confirmText"));
    // The question names the firmware of this link once the controller has reported it.
    const auto question = [this] { return shownItem("confirmText")->property("text").toString(); };
    QTRY_VERIFY2(question().contains(QStringLiteral("Firmware now: 1.0.0.60")), qPrintable(question()));
    QVERIFY2(question().contains(QStringLiteral("tavox-fw.bin (49152 bytes)")), qPrintable(question()));
    m_driver.saveFrames(QStringLiteral("window-upgrade-question"));
    confirmQuestion();
    QTRY_VERIFY_WITH_TIMEOUT(itemText("phaseText").startsWith(QStringLiteral("Writing ")), ProcessWaitMs);

    QCOMPARE(enabledDeviceActions(), QStringList());
    QVERIFY(!item("browseButton")->isEnabled());
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-upgrading"));

    // the switch asks first; Escape keeps the port and the upgrade
    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    QCOMPARE(question(), QStringLiteral("Closing the port aborts the upgrade."));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmText"));
    QVERIFY(bridge().serialOpened() && bridge().tavoxUpgrading());

    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    confirmQuestion();
    QTRY_VERIFY(!bridge().serialOpened());
    QTRY_VERIFY(item("resultBanner")->isVisible());
    QVERIFY2(itemText("resultText").startsWith(QStringLiteral("Upgrade aborted")), qPrintable(itemText("resultText")));
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-upgrade-failed"));
    bridge().setUpgradeReplyTimeouts({});
    // the result belongs to the link it happened on: the next open ends it
    m_driver.openPort(m_driver.sim().portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    QVERIFY(!item("resultBanner")->isVisible());
    VERIFY_NO_QML_WARNINGS();
}

QTEST_MAIN(WindowFlowsTest)

#include "tst_windowflows.moc"
