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

                MotorService {
                    id: service
                    device: motorDeviceDouble
                }

                TextField {
                    id: otherField
                    width: 200
                }
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

        function torqueCalls() {
            return appBridge.callNames().filter(function(n) { return n === "tavoxSendMotorTorque" }).length
        }

        function confirmDialog(scene) { return part(scene.section, "motorConfirmDialog") }

        // The first hold of a section's service is asked for, and confirmed.
        function confirmTorqueTest(scene) {
            var button = part(scene.section, "motorForward0")
            mousePress(button)
            tryCompare(confirmDialog(scene), "opened", true)
            confirmByKeys()
            tryCompare(confirmDialog(scene), "visible", false)
            mouseRelease(button)
            compare(torqueCalls(), 0, "the confirmation turns no motor")
            verify(scene.section.service.torqueTestConfirmed)
        }

        function test_firstHoldAsks_data() {
            return [ { tag: "Escape", escape: true }, { tag: "Cancel button", escape: false } ]
        }

        // Cancelled: nothing turns, and the next hold asks again.
        function test_firstHoldAsks(data) {
            var s = createSubject()
            var button = part(s.section, "motorReverse1")
            var dialog = confirmDialog(s)
            mousePress(button)
            tryCompare(dialog, "opened", true)
            verify(dialog.text.indexOf("Keep hands") >= 0, dialog.text)
            mouseRelease(button)
            if (data.escape)
                keyClick(Qt.Key_Escape)
            else
                mouseClick(part(dialog.contentItem, "confirmCancel"))
            tryCompare(dialog, "visible", false)
            compare(torqueCalls(), 0)
            verify(!s.section.service.torqueTestConfirmed)
            mousePress(button)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Escape)
            mouseRelease(button)
            compare(torqueCalls(), 0)
        }

        // Confirmed once: every later hold of any motor runs at once, and its release clears it.
        function test_confirmedHoldsRunWithoutAsking() {
            var s = createSubject()
            confirmTorqueTest(s)
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
                { tag: "focus lost", by: "key",
                  end: function(s, b) { s.otherField.forceActiveFocus() } },
                { tag: "link lost, cleared when it returns", by: "mouse",
                  end: function(s, b) {
                      appBridge.serialOpened = false
                      compare(s.section.service.holding, MotorService.NoMotor)
                      compare(torqueCalls(), 1, "nothing goes out while the link is down")
                      verify(appBridge.messageLog.indexOf("the controller may still hold it") >= 0,
                             appBridge.messageLog)
                      appBridge.serialOpened = true
                  } }
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
            confirmTorqueTest(s)
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
            tryVerify(function() { return torqueCalls() === 2 }, 5000, "torque calls " + torqueCalls())
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [2, 2])
            // Nothing more once the hold is over, whatever comes after.
            mouseRelease(scene, 1, 1)
            keyRelease(Qt.Key_Space)
            wait(0)
            compare(torqueCalls(), 2)
        }

        Component {
            id: drawerComponent
            MotorServiceDrawer {
                service: MotorService { device: motorDeviceDouble }
            }
        }

        // Escape closes the drawer under a held button, and that ends the hold.
        function test_closingTheDrawerEndsTheHold() {
            var drawer = createTemporaryObject(drawerComponent, scene)
            drawer.service.confirmTorqueTest()
            drawer.open()
            tryCompare(drawer, "opened", true)
            var button = part(drawer.contentItem, "motorForward1")
            mousePress(button)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 0])
            keyClick(Qt.Key_Escape)
            tryCompare(drawer, "visible", false)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 2])
            mouseRelease(scene, 1, 1)
            compare(torqueCalls(), 2)
        }

        Component {
            id: openerComponent
            Button { text: "Motor service…" }
        }

        // The keyboard goes back to the button that opened the drawer.
        function test_closingTheDrawerGivesFocusBack() {
            var opener = createTemporaryObject(openerComponent, scene)
            var drawer = createTemporaryObject(drawerComponent, scene)
            opener.forceActiveFocus(Qt.TabFocusReason)
            drawer.open()
            tryCompare(drawer, "opened", true)
            verify(!opener.activeFocus)
            keyClick(Qt.Key_Escape)
            tryCompare(drawer, "visible", false)
            tryCompare(opener, "activeFocus", true)
        }

        // Space held is a held button; Enter is no hold.
        function test_spaceHolds() {
            var s = createSubject()
            confirmTorqueTest(s)
            var button = part(s.section, "motorForward2")
            button.forceActiveFocus()
            keyPress(Qt.Key_Space)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [2, 0])
            compare(torqueCalls(), 1)
            keyRelease(Qt.Key_Space)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [2, 2])
            compare(torqueCalls(), 2)
            keyClick(Qt.Key_Return)
            compare(torqueCalls(), 2, "Enter is no hold")
        }

        // ask: the confirmation names this text; empty when the command goes at once.
        function test_commandConfirmations_data() {
            return [
                { tag: "outer hall", button: "motorHallCalib0", ask: "hall calibration",
                  call: "tavoxSendMotorHallCalib", args: [0] },
                { tag: "inner hall", button: "motorHallCalib2", ask: "hall calibration",
                  call: "tavoxSendMotorHallCalib", args: [2] },
                { tag: "middle elec start", button: "motorElecStart1", ask: "electrical angle",
                  call: "tavoxSendElecAngleCalib", args: [1, true] },
                { tag: "middle elec end", button: "motorElecEnd1", ask: "",
                  call: "tavoxSendElecAngleCalib", args: [1, false] },
                { tag: "user hall data", button: "hallDataUser", ask: "your own calibration",
                  call: "tavoxSendHallDataSelect", args: [true] },
                { tag: "default hall data", button: "hallDataDefault", ask: "factory hall data",
                  call: "tavoxSendHallDataSelect", args: [false] },
                { tag: "linearisation", button: "linearCalib", ask: "linearisation",
                  call: "tavoxSendLinearCalib", args: [] },
                { tag: "gyro bias", button: "gyroBiasUpdate", ask: "still",
                  call: "tavoxSendGyroBiasUpdate", args: [] }
            ]
        }

        function test_commandConfirmations(data) {
            var s = createSubject()
            var button = part(s.section, data.button)
            var dialog = confirmDialog(s)
            mouseClick(button)
            if (data.ask !== "") {
                tryCompare(dialog, "opened", true)
                verify(dialog.text.indexOf(data.ask) >= 0, dialog.text)
                compare(appBridge.callNames().indexOf(data.call), -1, "sent before the confirmation")
                keyClick(Qt.Key_Escape)
                tryCompare(dialog, "visible", false)
                compare(appBridge.callNames().indexOf(data.call), -1, "sent though cancelled")
                mouseClick(button)
                tryCompare(dialog, "opened", true)
                confirmByKeys()
            } else {
                verify(!dialog.visible, "asked")
            }
            compare(appBridge.callNames().filter(function(n) { return n === data.call }).length, 1)
            compare(appBridge.lastArgs(data.call), data.args)
        }

        // Blocked: no button sends, and a held one cannot start.
        function test_blockedSectionSendsNothing() {
            var s = createSubject()
            s.section.service.confirmTorqueTest()
            s.section.blockedReason = "Port closed"
            var names = ["motorForward0", "motorReverse1", "motorHallCalib2", "motorElecStart0", "motorElecEnd0",
                         "hallDataUser", "hallDataDefault", "linearCalib", "gyroBiasUpdate"]
            for (var i = 0; i < names.length; ++i) {
                var button = part(s.section, names[i])
                mousePress(button)
                mouseRelease(button)
            }
            verify(!confirmDialog(s).visible)
            compare(appBridge.callNames(), [])
        }

        // A screen reader names each button with its frame; its press starts a hold and the next ends it.
        function test_accessibleNamesAndPress() {
            var s = createSubject()
            compare(part(s.section, "motorReverse1").Accessible.name, "Reverse test torque on the middle frame motor (hold)")
            compare(part(s.section, "motorElecStart2").Accessible.name, "Inner frame electrical-angle calibration start")
            appBridge.language = "zh"
            compare(part(s.section, "motorHallCalib0").Accessible.name, "外框架霍尔校准")
            s.section.service.confirmTorqueTest()
            var hold = part(s.section, "motorForward1")
            hold.Accessible.pressAction()
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 0])
            hold.Accessible.pressAction()
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [1, 2])
            compare(torqueCalls(), 2)
        }
    }
}
