// A panel's edits against what a restore wrote and which controller they were made for.
#include "window/FieldEdits.h"

#include <QtTest>

class TestFieldEdits : public QObject
{
    Q_OBJECT

private slots:
    void restoredFieldsOfItsPanelShowTheControllersValues();
    void editsMadeForAnotherControllerAreMarked();
};

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
    QVERIFY(!gimbal.isEdited(QStringLiteral("pitch")));
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
