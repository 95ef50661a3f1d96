import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 800
    height: 900

    TavoxTestCase {
        name: "GimbalConfigPanel"
        subject: Component { GimbalConfigPanel { width: 420; height: 420 } }

        function test_writeSendsWhatIsShownAndEditsYieldToTheBridge() {
            setBridge({ tavoxFpvMode: 2, tavoxPitchMaxSpeed: 10, tavoxRollMaxSpeed: 20, tavoxYawMaxSpeed: 30 })
            var panel = createSubject()
            mouseClick(part(panel, "readButton"))
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteGimbalConfig"])
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [2, 10, 20, 30])
            mouseClick(part(part(panel, "pitchSpin"), "spinUp"))
            typeInto(part(panel, "rollSpin"), "999")
            part(panel, "fpvCombo").currentIndex = 5
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [5, 11, 255, 30])
            setBridge({ tavoxFpvMode: 7, tavoxPitchMaxSpeed: 40, tavoxRollMaxSpeed: 50, tavoxYawMaxSpeed: 60 })
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [7, 40, 50, 60])
        }
    }

    TavoxTestCase {
        name: "TorquePanel"
        subject: Component { TorquePanel { width: 420; height: 400 } }

        function test_writeSendsWhatIsShownAndEditsYieldToTheBridge() {
            var panel = createSubject()
            mouseClick(part(panel, "readButton"))
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteTorque"])
            compare(appBridge.lastArgs("tavoxWriteTorque"), [0, 0, 0], "bridge values below one go out unchanged")
            typeInto(part(panel, "rollTorque"), [Qt.Key_Return])
            typeInto(part(panel, "yawTorque"), "99999")
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteTorque"), [0, 1, 30000])
            setBridge({ tavoxRollMaxTorque: 1300, tavoxYawMaxTorque: 1400 })
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteTorque"), [0, 1300, 1400])
        }
    }

    TavoxTestCase {
        name: "TavoxCameraPanel"
        subject: Component { TavoxCameraPanel { width: 420; height: 300 } }

        function test_writeSendsTheChoiceAndAParameterSetOverridesIt() {
            var panel = createSubject()
            var combo = part(panel, "cameraCombo")
            compare(combo.contentItem.text, "相机上置")
            combo.currentIndex = 0
            mouseClick(part(panel, "readButton"))
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteCameraPosition"])
            compare(appBridge.lastArgs("tavoxWriteCameraPosition"), [0])
            appBridge.tavoxParamsChanged()
            compare(combo.currentIndex, 1)
        }
    }

    TavoxTestCase {
        name: "UpgradePanel"
        subject: Component { UpgradePanel { width: 420; height: 320 } }

        function test_buttons_data() {
            var path = "/home/op/firmware v2.bin"
            return [
                { tag: "no file", path: "", upgrading: false, calls: ["tavoxSelectUpgradeFile", "tavoxQueryVersion"] },
                { tag: "file chosen", path: path, upgrading: false, start: [path],
                  calls: ["tavoxSelectUpgradeFile", "tavoxStartUpgrade", "tavoxQueryVersion"] },
                { tag: "upgrading", path: path, upgrading: true, calls: [] }
            ]
        }

        function test_buttons(data) {
            setBridge({ tavoxUpgradeFilePath: data.path, tavoxUpgrading: data.upgrading })
            var panel = createSubject()
            compare(part(panel, "filePathField").text, data.path)
            mouseClick(part(panel, "browseButton"))
            mouseClick(part(panel, "startButton"))
            mouseClick(part(panel, "queryButton"))
            compare(appBridge.callNames(), data.calls)
            compare(appBridge.lastArgs("tavoxStartUpgrade"), data.start)
        }

        function test_versionsAndProgress() {
            var panel = createSubject()
            compare(part(panel, "firmwareVersion").text, "-")
            compare(part(panel, "bootVersion").text, "-")
            appBridge.tavoxUpgradeProgress = 100
            compare(part(panel, "progressText").text, "100%")
            compare(part(panel, "progressFill").width, part(panel, "progressBar").contentItem.width)
        }
    }

    TavoxTestCase {
        name: "MessageLogPanel"
        subject: Component { MessageLogPanel { width: 800; height: 180 } }

        function lines(count) {
            return Array.from({ length: count }, function(_, i) { return "[2024-05-01 12:00:00] entry " + i }).join("\n")
        }

        function atEnd(view) {
            return view.contentHeight > view.height && Math.abs(view.contentY - (view.contentHeight - view.height)) < 1
        }

        function test_showsTheNewestLineAfterEveryChange() {
            appBridge.messageLog = lines(60)
            var panel = createSubject()
            var view = part(panel, "messageLogScrollView").contentItem
            tryVerify(function() { return atEnd(view) }, 5000, "at the end when created")
            view.contentY = 0
            appBridge.messageLog = lines(61)
            compare(part(panel, "messageLogArea").text, lines(61))
            verify(atEnd(view), "back at the newest line after a change")
            view.contentY = 10
            appBridge.messageLogChanged()
            verify(atEnd(view), "even when the text is unchanged")
        }

        function test_clear_data() {
            return [{ tag: "with entries", log: lines(5) }, { tag: "empty log", log: "" }]
        }

        function test_clear(data) {
            appBridge.messageLog = data.log
            var panel = createSubject()
            mouseClick(part(panel, "clearButton"))
            compare(appBridge.callNames(), ["clearMessages"])
            compare(part(panel, "messageLogArea").text, "")
        }
    }

    TavoxTestCase {
        name: "CalibrationPanel"
        subject: Component { CalibrationPanel { width: 420; height: 900 } }

        function startAccelCalibration(panel) { mouseClick(part(panel, "calibButton2")) }

        // The bridge signals every report, even a repeated one.
        function report(step) {
            appBridge.accelCaliState = step
            appBridge.accelCaliStateChanged()
        }

        function test_reportsNeedAnAccelCalibrationFromHere() {
            var panel = createSubject()
            report(3)
            mouseClick(part(panel, "calibButton1"))
            report(4)
            compare(appBridge.callNames(), ["tavoxSendCalibration"])
            compare(appBridge.lastArgs("tavoxSendCalibration"), [1])
            compare(panel.caliState, -1)
            verify(!part(panel, "caliProgressSection").visible)
        }

        // faces: d completed, c current, p pending.
        function test_progress_data() {
            return [
                { tag: "waiting", steps: [], counter: "0/6", text: "⏳ 等待设备响应...", faces: "pppppp" },
                { tag: "first face", steps: [1], counter: "0/6", text: "● 请将设备正放（上）面朝上", faces: "cppppp" },
                { tag: "midway", steps: [4], counter: "3/6", text: "● 请将设备朝后放置", faces: "dddcpp" },
                { tag: "computing", steps: [7], counter: "6/6", text: "⏳ 正在计算校准参数...", faces: "dddddd" },
                { tag: "out of range keeps the last step", steps: [2, 0, 9], counter: "1/6", text: "● 请将设备朝前放置",
                  faces: "dcpppp" },
                { tag: "english", steps: [5], lang: "en", counter: "4/6", text: "● Place device LEFT", faces: "ddddcp" }
            ]
        }

        function test_progress(data) {
            var panel = createSubject()
            startAccelCalibration(panel)
            compare(appBridge.lastArgs("tavoxSendCalibration"), [2])
            for (var i = 0; i < data.steps.length; ++i)
                report(data.steps[i])
            appBridge.language = data.lang || "zh"
            compare(part(panel, "progressCounter").text, data.counter)
            compare(String(part(panel, "progressCounter").color), data.counter === "6/6" ? "#67c23a" : "#409eff")
            compare(part(panel, "caliStatusLabel").text, data.text)
            var phases = { d: "completed", c: "current", p: "pending" }
            for (var f = 1; f <= 6; ++f) {
                var face = part(panel, "face" + f)
                compare(face.phase, phases[data.faces[f - 1]], "face " + f)
                compare(part(face, "pulseFrame").visible, data.faces[f - 1] === "c", "face " + f + " pulses")
            }
        }

        function test_newClickAfterDoneRestartsWaiting() {
            var panel = createSubject()
            panel.caliDoneTimer.interval = 100
            startAccelCalibration(panel)
            report(8)
            compare(part(panel, "caliStatusLabel").text, "✓ 校准完成！请点击 激活 → 重启")
            startAccelCalibration(panel)
            compare(part(panel, "caliStatusLabel").text, "⏳ 等待设备响应...")
            // The hide of the finished run is cancelled.
            wait(300)
            verify(part(panel, "caliProgressSection").visible)
        }

        function test_doneHidesAfterFiveSeconds() {
            var panel = createSubject()
            startAccelCalibration(panel)
            report(8)
            var reported = Date.now()
            tryCompare(part(panel, "caliProgressSection"), "visible", false, 8000)
            verify(Date.now() - reported >= 4000, "hidden too early")
            report(3)
            compare(panel.caliState, -1, "later reports belong to no calibration")
        }
    }
}
