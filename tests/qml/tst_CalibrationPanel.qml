import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 420
    height: 900

    Component {
        id: panelComponent
        CalibrationPanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "CalibrationPanel"
        when: windowShown

        function init() {
            appBridge.reset()
        }

        function createPanel() {
            var panel = createTemporaryObject(panelComponent, scene)
            verify(panel !== null)
            waitForRendering(panel)
            return panel
        }

        function part(item, name) {
            var found = findChild(item, name)
            verify(found !== null, "no item " + name)
            return found
        }

        function startAccelCalibration(panel) {
            mouseClick(part(panel, "calibButton2"))
        }

        function report(step) {
            appBridge.accelCaliState = step
            // The bridge signals every report, even a repeated one.
            appBridge.emitSignal("accelCaliStateChanged")
        }

        function test_commandButtons_data() {
            return [
                { tag: "stop motor", cmd: 0, zh: "停止电机", en: "Stop Motor" },
                { tag: "hall", cmd: 1, zh: "霍尔校准", en: "Hall Calib" },
                { tag: "accel", cmd: 2, zh: "加速度计校准", en: "Accel Calib" },
                { tag: "activate", cmd: 3, zh: "激活", en: "Activate" },
                { tag: "restart", cmd: 4, zh: "重启", en: "Restart" },
                { tag: "zero", cmd: 5, zh: "零点标定", en: "Zero Calib" }
            ]
        }

        function test_commandButtons(data) {
            var panel = createPanel()
            var button = part(panel, "calibButton" + data.cmd)
            compare(button.text, data.zh)
            mouseClick(button)
            compare(appBridge.callNames(), ["tavoxSendCalibration"])
            compare(appBridge.lastArgs("tavoxSendCalibration"), [data.cmd])
            // Only the accelerometer calibration is followed on screen.
            compare(panel.accelCaliActive, data.cmd === 2)
            compare(part(panel, "caliProgressSection").visible, data.cmd === 2)
            appBridge.language = "en"
            compare(part(panel, "calibButton" + data.cmd).text, data.en)
        }

        function test_reportsIgnoredWhileInactive() {
            var panel = createPanel()
            report(3)
            compare(panel.caliState, -1)
            compare(part(panel, "caliProgressSection").visible, false)
            compare(part(panel, "caliStatusLabel").text, "")
            mouseClick(part(panel, "calibButton1"))
            report(4)
            compare(panel.caliState, -1)
        }

        function test_waitingStep() {
            var panel = createPanel()
            startAccelCalibration(panel)
            compare(part(panel, "progressCounter").text, "0/6")
            compare(part(panel, "caliStatusLabel").text, "⏳ 等待设备响应...")
            compare(String(part(panel, "statusBox").color), "#f5f7fa")
            for (var i = 1; i <= 6; ++i)
                compare(part(panel, "face" + i).phase, "pending")
        }

        function test_firstFace() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(1)
            compare(part(panel, "progressCounter").text, "0/6")
            compare(String(part(panel, "progressCounter").color), "#409eff")
            compare(part(panel, "caliStatusLabel").text, "● 请将设备正放（上）面朝上")
            compare(String(part(panel, "caliStatusLabel").color), "#e6a23c")
            var first = part(panel, "face1")
            compare(first.phase, "current")
            compare(String(part(first, "faceRect").color), "#fdf6ec")
            verify(part(first, "pulseFrame").visible)
            verify(!part(first, "checkMark").visible)
            verify(part(first, "bottomBar").visible)
            for (var i = 2; i <= 6; ++i) {
                var face = part(panel, "face" + i)
                compare(face.phase, "pending")
                verify(!part(face, "pulseFrame").visible)
                verify(!part(face, "bottomBar").visible)
                compare(String(part(face, "faceRect").color), "#fafafa")
            }
        }

        function test_midway() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(4)
            compare(part(panel, "progressCounter").text, "3/6")
            compare(part(panel, "caliStatusLabel").text, "● 请将设备朝后放置")
            var expected = ["completed", "completed", "completed", "current", "pending", "pending"]
            for (var i = 1; i <= 6; ++i)
                compare(part(panel, "face" + i).phase, expected[i - 1], "face " + i)
            verify(part(part(panel, "face2"), "checkMark").visible)
            compare(String(part(part(panel, "face2"), "nameLabel").color), "#67c23a")
        }

        function test_computingShowsEverythingDone() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(7)
            compare(part(panel, "progressCounter").text, "6/6")
            compare(String(part(panel, "progressCounter").color), "#67c23a")
            compare(part(panel, "caliStatusLabel").text, "⏳ 正在计算校准参数...")
            for (var i = 1; i <= 6; ++i)
                compare(part(panel, "face" + i).phase, "completed")
            var track = part(panel, "progressFill")
            tryVerify(function() { return track.width > 0 && track.width === track.parent.width })
        }

        function test_outOfRangeReportsKeepTheLastStep_data() {
            return [
                { tag: "zero", step: 0 },
                { tag: "nine", step: 9 },
                { tag: "negative", step: -1 }
            ]
        }

        function test_outOfRangeReportsKeepTheLastStep(data) {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(2)
            report(data.step)
            compare(panel.caliState, 2)
            compare(part(panel, "caliStatusLabel").text, "● 请将设备朝前放置")
        }

        function test_doneThenRestartWithinFiveSeconds() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(8)
            compare(part(panel, "caliStatusLabel").text, "✓ 校准完成！请点击 激活 → 重启")
            compare(String(part(panel, "statusBox").color), "#f0f9eb")
            verify(panel.caliDoneTimer.running)
            startAccelCalibration(panel)
            verify(!panel.caliDoneTimer.running)
            compare(panel.caliState, -1)
            compare(part(panel, "caliStatusLabel").text, "⏳ 等待设备响应...")
            // With the hide cancelled the section survives past the old deadline.
            panel.caliDoneTimer.interval = 50
            wait(200)
            verify(part(panel, "caliProgressSection").visible)
        }

        function test_doneDisappearsAfterFiveSeconds() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(8)
            var started = Date.now()
            var section = part(panel, "caliProgressSection")
            verify(section.visible)
            tryCompare(section, "visible", false, 8000)
            verify(Date.now() - started >= 4000, "hidden too early")
            compare(panel.caliState, -1)
            compare(panel.accelCaliActive, false)
            // Later reports belong to no calibration of this panel.
            report(3)
            compare(panel.caliState, -1)
        }

        function test_languageSwitchWhileFollowing() {
            var panel = createPanel()
            startAccelCalibration(panel)
            report(5)
            appBridge.language = "en"
            compare(panel.caliState, 5)
            compare(part(panel, "caliStatusLabel").text, "● Place device LEFT")
            compare(part(part(panel, "face5"), "nameLabel").text, "Left")
            compare(part(panel, "face5").phase, "current")
            compare(part(panel, "face4").phase, "completed")
            verify(part(panel, "caliProgressSection").visible)
        }
    }
}
