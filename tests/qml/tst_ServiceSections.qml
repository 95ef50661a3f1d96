import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"
import "../../qml/dialogs"
import "../../qml/panels"

Item {
    id: scene
    width: 1540
    height: 960

    TavoxTestCase {
        name: "CalibrationPanel"
        subject: Component {
            CalibrationPanel {
                width: 420
                height: 600
                guide: CalibrationGuide { source: appBridge }
            }
        }

        function init() {
            appBridge.reset()
            setBridge({ serialOpened: true })
        }

        function cleanup() {
            resizeWindow(1540, 960)
        }

        function startAccelCalibration(panel) {
            mouseClick(part(panel, "calibButton2"))
            verify(part(panel, "confirmDialog").opened)
            confirmByKeys()
            var dialog = part(panel, "calibrationGuideDialog")
            tryCompare(dialog, "opened", true)
            return dialog
        }

        // The bridge signals every report, even a repeated one.
        function report(step) {
            appBridge.accelCaliState = step
            appBridge.accelCaliStateChanged()
        }

        function resizeWindow(w, h) {
            var win = scene.Window.window
            win.width = w
            win.height = h
            scene.width = w
            scene.height = h
            tryVerify(function() { return win.contentItem.width === w && win.contentItem.height === h }, 5000)
        }

        function sceneRect(item) {
            var p = item.mapToItem(null, 0, 0)
            return { x: p.x, y: p.y, right: p.x + item.width, bottom: p.y + item.height }
        }

        function verifyInside(item, outer) {
            var r = sceneRect(item)
            verify(item.visible && r.x >= outer.x - 0.5 && r.y >= outer.y - 0.5 && r.right <= outer.right + 0.5
                   && r.bottom <= outer.bottom + 0.5, item.objectName + " " + JSON.stringify(r))
        }

        // The smallest window, in both languages; `after`: the guide opened first at the full size in Chinese
        // and closed, then the window and the language changed while it was closed.
        function test_allPartsShownTogether_data() {
            return [ { tag: "zh", lang: "zh" }, { tag: "en after a change", lang: "en", after: true } ]
        }

        function test_allPartsShownTogether(data) {
            var panel = createSubject()
            if (data.after) {
                var first = startAccelCalibration(panel)
                mouseClick(part(first.contentItem, "guideCloseButton"))
                tryCompare(first, "visible", false)
            }
            resizeWindow(1024, 640)
            appBridge.language = data.lang
            waitForRendering(panel)
            var dialog = startAccelCalibration(panel)
            report(3)
            waitForRendering(dialog.contentItem)
            verifyInside(dialog.background, { x: 0, y: 0, right: 1024, bottom: 640 })
            var dialogRect = sceneRect(dialog.background)
            var rect = function(name) { return sceneRect(part(dialog.contentItem, name)) }
            var names = ["guideTitle", "progressCounter", "progressTrack", "statusBox", "caliStatusLabel",
                         "face1", "face2", "face3", "face4", "face5", "face6",
                         "guideCloseButton", "guideActivateButton", "guideRestartButton"]
            for (var i = 0; i < names.length; ++i)
                verifyInside(part(dialog.contentItem, names[i]), dialogRect)

            verify(rect("progressTrack").bottom <= rect("statusBox").y)
            verify(part(dialog.contentItem, "caliStatusLabel").implicitHeight <= part(dialog.contentItem, "statusBox").height)
            verify(rect("statusBox").bottom <= rect("face1").y)
            verify(rect("face6").bottom <= Math.min(rect("guideCloseButton").y, rect("guideRestartButton").y))
            verify(rect("guideCloseButton").right <= rect("guideActivateButton").x)
            verify(rect("guideActivateButton").right <= rect("guideRestartButton").x)
            verify(part(dialog.contentItem, "face1").width >= 150)
        }

        // faces: d completed, c current, p pending.
        function test_progress_data() {
            return [
                { tag: "midway", steps: [4], counter: "3/6", text: "● 请将设备朝后放置", faces: "dddcpp" },
                { tag: "computing", steps: [7], counter: "6/6", text: "○ 正在计算校准参数...", faces: "dddddd" }
            ]
        }

        function test_progress(data) {
            var panel = createSubject()
            var dialog = startAccelCalibration(panel)
            compare(appBridge.lastArgs("tavoxSendCalibration"), [2])
            for (var i = 0; i < data.steps.length; ++i)
                report(data.steps[i])
            compare(part(dialog.contentItem, "progressCounter").text, data.counter)
            compare(String(part(dialog.contentItem, "progressCounter").color),
                    data.counter === "6/6" ? String(Theme.success) : String(Theme.primary))
            compare(part(dialog.contentItem, "caliStatusLabel").text, data.text)
            verify(!part(dialog.contentItem, "guideActivateButton").enabled, "no activation in the middle of a run")
            var phases = { d: "completed", c: "current", p: "pending" }
            for (var f = 1; f <= 6; ++f) {
                var face = part(dialog.contentItem, "face" + f)
                compare(face.phase, phases[data.faces[f - 1]], "face " + f)
                compare(part(face, "pulseFrame").visible, data.faces[f - 1] === "c", "face " + f + " pulses")
            }
        }

        function test_cancelEndsTheGuide_data() {
            return [ { tag: "Cancel button", keys: [] }, { tag: "Escape", keys: [Qt.Key_Escape] },
                     { tag: "Enter starts on Cancel", keys: [Qt.Key_Return] } ]
        }

        function test_cancelEndsTheGuide(data) {
            var panel = createSubject()
            var dialog = startAccelCalibration(panel)
            report(2)
            var cancel = part(dialog.contentItem, "guideCloseButton")
            compare(cancel.text, "取消")
            verify(cancel.activeFocus)
            if (data.keys.length > 0)
                pressKeys(data.keys)
            else
                mouseClick(cancel)
            tryCompare(dialog, "visible", false)
            compare(panel.guide.state, CalibrationGuide.Idle)
            // Nothing more went to the controller: it has no command that stops a calibration.
            compare(appBridge.callNames(), ["tavoxSendCalibration"])
        }

        function test_silenceThenLinkLossInterruptTheRun() {
            var panel = createSubject()
            panel.guide.timeoutMs = 300
            var dialog = startAccelCalibration(panel)
            report(2)
            tryCompare(part(dialog.contentItem, "caliStatusLabel"), "text",
                       "1 秒内没有收到设备的校准进度。请检查设备和连接线，然后点击 重试。", 5000)
            var retry = part(dialog.contentItem, "guideRetryButton")
            verify(retry.visible)
            panel.guide.timeoutMs = 10000
            mouseClick(retry)
            compare(appBridge.callNames(), ["tavoxSendCalibration", "tavoxSendCalibration"])
            compare(appBridge.lastArgs("tavoxSendCalibration"), [2])
            verify(!retry.visible)
            report(3)
            appBridge.serialOpened = false
            var interruption = "校准在第 3 面（共 6 面）时中断：连接已断开"
            verify(dialog.visible, "the guide stays open")
            compare(part(dialog.contentItem, "caliStatusLabel").text, "✕ " + interruption + "。连接恢复后请点击 重试。")
            compare(part(dialog.contentItem, "face3").phase, "current", "the faces show where it stopped")
            verify(retry.visible)
            var close = part(dialog.contentItem, "guideCloseButton")
            compare(close.text, "关闭")
            appBridge.serialOpened = true
            waitForRendering(dialog.contentItem)
            mouseClick(close)
            tryCompare(dialog, "visible", false)
            var line = part(panel, "calibrationInterruption")
            compare(line.text, interruption)
            verify(line.visible && !part(panel, "calibrationStatus").visible)
            mouseClick(part(panel, "calibButton1"))
            confirmByKeys()
            verify(!line.visible, "another command's outcome is its own")
            verify(part(panel, "calibrationStatus").visible)
            report(4)
            compare(appBridge.lastArgs("tavoxSendCalibration"), [1])
            verify(!dialog.visible, "reports follow only an accelerometer calibration sent from here")
            startAccelCalibration(panel)
            compare(line.text, "")
        }
    }

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

        function test_confirmedHoldsRunWithoutAsking() {
            var s = createSubject()
            compare(part(s.section, "motorReverse1").Accessible.name, "Reverse test torque on the middle frame motor (hold)")
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
            mousePress(part(s.section, "motorForward0"))
            verify(!dialog.visible)
            compare(appBridge.lastArgs("tavoxSendMotorTorque"), [0, 0])
            mouseRelease(part(s.section, "motorForward0"))
            s.section.blockedReason = "Port closed"
            mousePress(part(s.section, "motorForward0"))
            mouseRelease(part(s.section, "motorForward0"))
            compare(torqueCalls(), 2)
            appBridge.language = "zh"
            compare(part(s.section, "motorHallCalib0").Accessible.name, "外框架霍尔校准")
        }

        // by: how the hold starts (the mouse, Space, a screen reader's press); end: what ends it.
        function test_everyWayOutEndsTheHold_data() {
            return [
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
                { tag: "pressed again by a reader", by: "reader", end: function(s, b) { b.Accessible.pressAction() } },
                // A reader's hold has no release of its own: only the section's end ends it.
                { tag: "section hidden", by: "reader", end: function(s, b) { s.section.visible = false } },
                { tag: "section blocked", by: "reader", end: function(s, b) { s.section.blockedReason = "Port closed" } },
                { tag: "section gone", by: "reader", end: function(s, b) { s.section.destroy() } }
            ]
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
            mouseRelease(scene, 1, 1)
            keyRelease(Qt.Key_Space)
            keyClick(Qt.Key_Return)
            compare(torqueCalls(), 2)
        }

        Component { id: drawerComponent; MotorServiceDrawer { service: MotorService { device: motorDeviceDouble } } }
        Component { id: openerComponent; Button { text: "Motor service…" } }

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

        // tag: the button; ask: the confirmation names this text, empty when the command goes at once.
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
    }
}
