#include "window/QuickAccessibility.h"

#include <QAccessible>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// A control drawn disabled says so and does nothing when asked to act, whatever Qt Quick's own accessible
// items would report.
class QuickAccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aDisabledControlSaysSoAndRefusesItsActions();
    void namesAndRolesGivenInQmlStay();
    void valuesGiveTheirBounds();
    void aReaderEditsATextFieldUnlessItIsReadOnly();

private:
    QQuickItem *item(const char *objectName) const;
    QAccessibleInterface *accessible(const char *objectName) const;

    QQmlEngine m_engine;
    std::unique_ptr<QObject> m_root;
};

void QuickAccessibilityTest::initTestCase()
{
    // As start-up does: before the first document loads.
    installQuickAccessibility(m_engine);
    QQmlComponent component(&m_engine);
    component.setData(R"(
        import QtQuick 2.12
        import QtQuick.Controls 2.12
        Item {
            // Offscreen, Qt makes a control accessible only when QML says something of it.
            Button { objectName: "readButton"; text: "Read"; Accessible.description: "" }
            Button { objectName: "writeButton"; text: "Write"; enabled: false; Accessible.description: "Not connected" }
            Item {
                objectName: "serialSwitch"
                Accessible.role: Accessible.CheckBox
                Accessible.name: "Serial Switch"
                Accessible.description: "Opens the port"
                // What QML does when a screen reader presses it.
                property int presses: 0
                Accessible.onPressAction: ++presses
            }
            ProgressBar {
                objectName: "progress"
                from: 0
                to: 100
                value: 40
                Accessible.role: Accessible.ProgressBar
            }
            Item {
                objectName: "speed"
                property int value: 60
                property int from: 0
                property int to: 255
                property int step: 5
                Accessible.role: Accessible.SpinBox
                Accessible.name: "Pitch Max Speed"
            }
            TextField { objectName: "portField"; text: "dev/ttyS0"; Accessible.name: "Port" }
            Item { objectName: "decoration" }
        })", QUrl());
    m_root.reset(component.create());
    QVERIFY2(m_root, qPrintable(component.errorString()));
}

QQuickItem *QuickAccessibilityTest::item(const char *objectName) const
{
    return m_root->findChild<QQuickItem *>(QLatin1String(objectName));
}

QAccessibleInterface *QuickAccessibilityTest::accessible(const char *objectName) const
{
    return QAccessible::queryAccessibleInterface(item(objectName));
}

// Said disabled, out of the keyboard's way, and refusing the press a screen reader asks for, even one QML handles.
void QuickAccessibilityTest::aDisabledControlSaysSoAndRefusesItsActions()
{
    QSignalSpy writeClicks(item("writeButton"), SIGNAL(clicked()));
    QSignalSpy readClicks(item("readButton"), SIGNAL(clicked()));
    QAccessibleInterface *write = accessible("writeButton");
    QAccessibleInterface *read = accessible("readButton");
    QVERIFY(write && read && write->actionInterface() && read->actionInterface());
    QVERIFY(write->state().disabled && !write->state().focusable);
    QVERIFY(!read->state().disabled && read->state().focusable);
    read->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    write->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(readClicks.count(), 1);
    QCOMPARE(writeClicks.count(), 0);

    item("writeButton")->setEnabled(true);
    QVERIFY(!write->state().disabled);
    write->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(writeClicks.count(), 1);
    item("writeButton")->setEnabled(false);

    QQuickItem *serialSwitch = item("serialSwitch");
    QAccessibleActionInterface *press = accessible("serialSwitch")->actionInterface();
    QVERIFY(press);
    QCOMPARE(press->actionNames().count(QAccessibleActionInterface::pressAction()), 1);
    press->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(serialSwitch->property("presses").toInt(), 1);
    serialSwitch->setEnabled(false);
    QVERIFY(accessible("serialSwitch")->state().disabled);
    press->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(serialSwitch->property("presses").toInt(), 1);
    serialSwitch->setEnabled(true);
}

void QuickAccessibilityTest::namesAndRolesGivenInQmlStay()
{
    QAccessibleInterface *serialSwitch = accessible("serialSwitch");
    QCOMPARE(serialSwitch->role(), QAccessible::CheckBox);
    QCOMPARE(serialSwitch->text(QAccessible::Name), QStringLiteral("Serial Switch"));
    QCOMPARE(serialSwitch->text(QAccessible::Description), QStringLiteral("Opens the port"));
    // Drawing only, with nothing to say, stays out of the tree.
    QVERIFY(!accessible("decoration"));
}

void QuickAccessibilityTest::valuesGiveTheirBounds()
{
    QAccessibleInterface *progress = accessible("progress");
    QAccessibleInterface *speed = accessible("speed");
    QVERIFY(progress && speed);
    QVERIFY(speed->valueInterface() && progress->valueInterface());
    QCOMPARE(progress->valueInterface()->currentValue().toInt(), 40);
    QCOMPARE(progress->valueInterface()->minimumValue().toInt(), 0);
    QCOMPARE(progress->valueInterface()->maximumValue().toInt(), 100);
    QCOMPARE(speed->valueInterface()->currentValue().toInt(), 60);
    QCOMPARE(speed->valueInterface()->maximumValue().toInt(), 255);
    QCOMPARE(speed->valueInterface()->minimumStepSize().toInt(), 5);
}

void QuickAccessibilityTest::aReaderEditsATextFieldUnlessItIsReadOnly()
{
    QQuickItem *field = item("portField");
    QAccessibleEditableTextInterface *editable = accessible("portField")->editableTextInterface();
    QVERIFY(editable && accessible("portField")->state().editable);
    editable->replaceText(4, 8, QStringLiteral("ttyUSB"));
    editable->insertText(0, QStringLiteral("/"));
    QCOMPARE(field->property("text").toString(), QStringLiteral("/dev/ttyUSB0"));
    field->setProperty("readOnly", true);
    QVERIFY(!accessible("portField")->state().editable);
    editable->deleteText(0, 5);
    QCOMPARE(field->property("text").toString(), QStringLiteral("/dev/ttyUSB0"));
}

QTEST_MAIN(QuickAccessibilityTest)
#include "tst_quickaccessibility.moc"
