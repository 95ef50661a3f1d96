#include "window/FieldEdits.h"

#include <QtTest>

class TestFieldEdits : public QObject
{
    Q_OBJECT

private slots:
    void editsSurviveNewValuesUntilConfirmedOrReverted();
    void writtenFieldsWaitForTheirReadBack();
    void restoredFieldsOfItsPanelShowTheControllersValues();
    void editsMadeForAnotherControllerAreMarked();
};

void TestFieldEdits::editsSurviveNewValuesUntilConfirmedOrReverted()
{
    const QString pitch = QStringLiteral("pitch"), roll = QStringLiteral("roll");
    FieldEdits edits;
    edits.setDevice(pitch, 60);
    edits.setDevice(roll, 50);
    edits.setShown(pitch, 77);
    QCOMPARE(edits.editedFields(), QStringList {pitch});

    edits.setDevice(pitch, 60);
    edits.setDevice(pitch, 61);
    edits.setDevice(roll, 52);
    QCOMPARE(edits.shown(pitch).toInt(), 77);
    QCOMPARE(edits.shown(roll).toInt(), 52);

    edits.setDevice(pitch, 77);
    QCOMPARE(edits.count(), 0);

    edits.setShown(roll, 1);
    edits.setShown(pitch, 2);
    edits.revert();
    QCOMPARE(edits.count(), 0);
    QCOMPARE(edits.shown(pitch).toInt(), 77);

    edits.setShown(QStringLiteral("unknown"), 5);
    QVERIFY(!edits.isEdited(QStringLiteral("unknown")));
}

void TestFieldEdits::writtenFieldsWaitForTheirReadBack()
{
    FieldEdits edits;
    const QString kept = QStringLiteral("sbusPitch"), refused = QStringLiteral("sbusRoll"), other = QStringLiteral("pwmYaw");
    edits.setDevice(kept, 60);
    edits.setDevice(refused, 50);
    edits.setDevice(other, 1);
    edits.setShown(kept, 77);
    edits.setShown(refused, 40);
    edits.setShown(other, 2);

    edits.markWritten(QStringLiteral("sbus"));
    QCOMPARE(edits.unconfirmedCount(), 2);
    QCOMPARE(edits.editedFields(), QStringList {other});

    // The bridge takes the written values into its copy at once: not yet a confirmation, nor is a revert of
    // the panel's unsaved edits.
    edits.setDevice(kept, 77);
    edits.setDevice(refused, 40);
    edits.revert();
    QCOMPARE(edits.unconfirmedCount(), 2);
    QCOMPARE(edits.count(), 0);

    edits.setDevice(refused, 50);
    QCOMPARE(edits.shown(refused).toInt(), 40);
    edits.confirmWritten();
    QCOMPARE(edits.unconfirmedCount(), 0);
    QCOMPARE(edits.editedFields(), QStringList {refused});

    edits.markWritten();
    edits.setShown(refused, 41);
    QVERIFY(edits.isEdited(refused) && !edits.isUnconfirmed(refused));
    edits.confirmWritten();
    QCOMPARE(edits.shown(refused).toInt(), 41);
}

void TestFieldEdits::restoredFieldsOfItsPanelShowTheControllersValues()
{
    FieldEdits gimbal;
    FieldEdits torque;
    gimbal.setProperty("panel", QStringLiteral("gimbal"));
    torque.setProperty("panel", QStringLiteral("torque"));
    for (FieldEdits *edits : {&gimbal, &torque}) {
        edits->setDevice(QStringLiteral("pitch"), 10);
        edits->setDevice(QStringLiteral("roll"), 20);
        edits->setShown(QStringLiteral("pitch"), 99);
        edits->setShown(QStringLiteral("roll"), 98);
    }

    const QStringList restored {QStringLiteral("gimbal.pitchMaxSpeed"), QStringLiteral("camera.position")};
    gimbal.settleRestored(restored);
    torque.settleRestored(restored);
    QCOMPARE(gimbal.shown(QStringLiteral("pitch")).toInt(), 10);
    QCOMPARE(gimbal.shown(QStringLiteral("roll")).toInt(), 98);
    // The torque panel's pitch is another field of the same name.
    QCOMPARE(torque.count(), 2);
}

void TestFieldEdits::editsMadeForAnotherControllerAreMarked()
{
    FieldEdits edits;
    edits.setControllerEpoch(1);
    edits.setDevice(QStringLiteral("roll"), 1);
    edits.setDevice(QStringLiteral("yaw"), 1);
    edits.setShown(QStringLiteral("roll"), 2);
    QVERIFY(!edits.madeForOtherController());

    edits.setControllerEpoch(2);
    QVERIFY(edits.madeForOtherController());
    edits.setShown(QStringLiteral("roll"), 1);   // no longer an edit
    QVERIFY(!edits.madeForOtherController());
    edits.setShown(QStringLiteral("yaw"), 3);   // made for this controller
    QVERIFY(!edits.madeForOtherController());
}

QTEST_GUILESS_MAIN(TestFieldEdits)
#include "tst_fieldedits.moc"
