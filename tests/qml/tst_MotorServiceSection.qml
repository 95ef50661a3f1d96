import QtQuick 2.12
import QtQuick.Controls 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"
import "../../qml/dialogs"

Item {
    id: scene
    width: 1540
    height: 960

    TavoxTestCase {
        name: "MotorServiceSection"
        // Each section has a motor service of its own over the bridge double, which outlives it as the window's
        // does; the section lies inside a view that scrolls, as in the calibration panel, beside a field that can
        // take the keyboard away.
        subject: Component {
            Item {
                property alias section: section
                property alias flick: flick
                property alias otherField: otherField
                width: 520
                height: 700

                MotorService { id: service; device: motorDeviceDouble }
                TextField { id: otherField; width: 200 }
                Flickable {
                    id: flick
                    y: 60
                    width: parent.width
                    height: 500
                    contentHeight: 1500
                    clip: true

                    MotorServiceSection {
                        id: section
                        width: flick.width
                        blockedReason: ""
                        service: service
                    }
                }
            }
        }

        function init() {
            appBridge.reset()
            setBridge({ serialOpened: true, language: "en" })
        }

        function torqueCalls() { return callCount("tavoxSendMotorTorque") }

        function confirmDialog(scene) { return part(scene.section, "motorConfirmDialog") }

        // The first hold asks, and cancelled turns nothing; confirmed once, every later hold of any motor runs
        // at once, and its release clears it; blocked, none starts.
        function test_confirmedHoldsRunWithoutAsking() {
            var s = createSubject()
            var dialog = confirmDialog(s)
            mousePress(part(s.section, "motorReverse1"))
            tryCompare(dialog, "opened", true)
            verify(dialog.text.indexOf("Keep hands") >= 0, dialog.text)
            keyClick(Qt.Key_Escape)
            mouseRelease(part(s.section, "motorReverse1"))
            mousePress(part(s.section, "motorForward0"))
            tryCompare(dialog, "opened", true)
            confirmByKeys()
            tryCompare(dialog, "visible", false)
            mouseRelease(part(s.section, "motorForward0"))
            compare(torqueCalls(), 0, "neither the cancel nor the confirmation turns a motor")
            var buttons = [["motorForward0", 0, 0], ["motorReverse2", 2, 1], ["motorForward1", 1, 0]]
            for (var i = 0; i < buttons.length; ++i) {
                var button = part(s.section, buttons[i][0])
                mousePress(button)
                verify(!confirmDialog(s).visible, "asked again for " + buttons[i][0])
                compare(appBridge.lastArgs("tavoxSendMotorTorque"), [buttons[i][1], buttons[i][2]])
                compare(s.section.service.holding, buttons[i][1])
                mouseRelease(button)
                compare(appBridge.lastArgs("tavoxSendMotorTorque"), [buttons[i][1], 2])
            }
            s.section.blockedReason = "Port closed"
            mousePress(part(s.section, "motorForward0"))
            mouseRelease(part(s.section, "motorForward0"))
            compare(torqueCalls(), 6)
        }

        // by: how the hold starts (the mouse, Space, a screen reader's press); end: what ends it. The clear goes
        // out once, whichever way.
        function test_everyWayOutEndsTheHold_data() {
            var rows = [
                { tag: "mouse released", by: "mouse",
                  end: function(s, b) { mouseRelease(b) } },
                { tag: "dragged off the button, the view scrolling", by: "mouse",
                  end: function(s, b) {
                      for (var y = 10; y <= 120; y += 10)
                          mouseMove(b, b.width / 2, b.height / 2 + y)
                      mouseRelease(b, b.width / 2, b.height / 2 + 120)
                      verify(s.flick.contentY > 0 || s.flick.dragging || s.flick.moving, "the view took the drag")
                  } },
                { tag: "Space released", by: "key", end: function(s, b) { keyRelease(Qt.Key_Space) } },
                { tag: "focus lost", by: "key", end: function(s, b) { s.otherField.forceActiveFocus() } },
                { tag: "pressed again by a reader", by: "reader", end: function(s, b) { b.Accessible.pressAction() } }
            ]
            var ways = ["mouse", "key", "reader"]
            for (var i = 0; i < ways.length; ++i) {
                rows.push({ tag: "section hidden, by " + ways[i], by: ways[i],
                            end: function(s, b) { s.section.visible = false } })
                rows.push({ tag: "section blocked, by " + ways[i], by: ways[i],
                            end: function(s, b) { s.section.blockedReason = "Port closed" } })
                rows.push({ tag: "section gone, by " + ways[i], by: ways[i],
                            end: function(s, b) { s.section.destroy() } })
            }
            return rows
        }

        function test_everyWayOutEndsTheHold(data) {
            var s = createSubject()
            s.section.service.confirmTorqueTest()
            var button = part(s.section, "motorReverse2")
            if (data.by === "mouse") {
                mousePress(button)
            } else if (data.by === "key") {
                button.forceActiveFocus()
                keyPress(Qt.Key_Space)
            } else {
                button.Accessible.pressAction()
            }
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [2, 1])
            data.end(s, button)
            tryVerify(function() { return torqueCalls() === 2 }, 5000)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [2, 2])
            // Nothing more once the hold is over, whatever comes after; Enter is no hold.
            mouseRelease(scene, 1, 1)
            keyRelease(Qt.Key_Space)
            keyClick(Qt.Key_Return)
            compare(torqueCalls(), 2)
        }

        Component { id: drawerComponent; MotorServiceDrawer { service: MotorService { device: motorDeviceDouble } } }
        Component { id: openerComponent; Button { text: "Motor service…" } }

        // Escape closes the drawer under a held button, which ends the hold, and the keyboard goes back to the
        // button that opened the drawer.
        function test_closingTheDrawerEndsTheHold() {
            var opener = createTemporaryObject(openerComponent, scene)
            var drawer = createTemporaryObject(drawerComponent, scene)
            drawer.service.confirmTorqueTest()
            opener.forceActiveFocus(Qt.TabFocusReason)
            drawer.open()
            tryCompare(drawer, "opened", true)
            var button = part(drawer.contentItem, "motorForward1")
            mousePress(button)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 0])
            keyClick(Qt.Key_Escape)
            tryCompare(drawer, "visible", false)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 2])
            tryCompare(opener, "activeFocus", true)
            mouseRelease(scene, 1, 1)
            compare(torqueCalls(), 2)
        }

        // tag: the button; ask: the confirmation names this text, empty when the command goes at once. Blocked,
        // the button neither asks nor sends.
        function test_commandConfirmations_data() {
            return [
                { tag: "motorHallCalib0", ask: "hall calibration", call: "tavoxSendMotorHallCalib", args: [0] },
                { tag: "motorHallCalib2", ask: "hall calibration", call: "tavoxSendMotorHallCalib", args: [2] },
                { tag: "motorElecStart1", ask: "electrical angle", call: "tavoxSendElecAngleCalib", args: [1, true] },
                { tag: "motorElecEnd1", ask: "", call: "tavoxSendElecAngleCalib", args: [1, false] },
                { tag: "hallDataUser", ask: "your own calibration", call: "tavoxSendHallDataSelect", args: [true] },
                { tag: "hallDataDefault", ask: "factory hall data", call: "tavoxSendHallDataSelect", args: [false] },
                { tag: "linearCalib", ask: "linearisation", call: "tavoxSendLinearCalib", args: [] },
                { tag: "gyroBiasUpdate", ask: "still", call: "tavoxSendGyroBiasUpdate", args: [] }
            ]
        }

        function test_commandConfirmations(data) {
            var s = createSubject()
            var button = part(s.section, data.tag)
            var dialog = confirmDialog(s)
            s.section.blockedReason = "Port closed"
            mouseClick(button)
            verify(!dialog.visible)
            s.section.blockedReason = ""
            mouseClick(button)
            if (data.ask !== "") {
                tryCompare(dialog, "opened", true)
                verify(dialog.text.indexOf(data.ask) >= 0, dialog.text)
                keyClick(Qt.Key_Escape)
                tryCompare(dialog, "visible", false)
                compare(callCount(data.call), 0, "sent though cancelled")
                mouseClick(button)
                tryCompare(dialog, "opened", true)
                confirmByKeys()
            } else {
                verify(!dialog.visible, "asked")
            }
            compare(callCount(data.call), 1)
            compare(appBridge.lastArgs(data.call), data.args)
        }

        // A screen reader names each button with its frame.
        function test_accessibleNames() {
            var s = createSubject()
            compare(part(s.section, "motorReverse1").Accessible.name, "Reverse test torque on the middle frame motor (hold)")
            appBridge.language = "zh"
            compare(part(s.section, "motorHallCalib0").Accessible.name, "外框架霍尔校准")
        }
    }
}
