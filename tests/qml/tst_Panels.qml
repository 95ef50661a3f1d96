import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"
import "../../qml/dialogs"
import "../../qml/panels"

Item {
    id: scene
    width: 1200
    height: 960

    TavoxTestCase {
        name: "GimbalConfigPanel"
        subject: Component { GimbalConfigPanel { width: 420; height: 420 } }

        function test_editsAreWrittenConfirmedAndDiscardedOnlyWhenAsked() {
            setBridge({ tavoxFpvMode: 2, tavoxPitchMaxSpeed: 10, tavoxRollMaxSpeed: 20, tavoxYawMaxSpeed: 30 })
            var panel = createSubject()
            var pitch = part(panel, "pitchSpin")
            var fpv = part(panel, "fpvCombo")
            mouseClick(part(panel, "readButton"))
            compare(appBridge.callNames(), ["tavoxReadParams"], "nothing to lose: no question")

            mouseClick(part(pitch, "spinUp"))
            typeInto(part(panel, "rollSpin"), "255")
            keyClick(Qt.Key_Tab)
            choose(fpv, 5)
            compare(part(panel, "editCount").text, "3 项未写入")
            appBridge.language = "en"
            compare(pitch.hint, "Controller's value: 10 (0–255)")
            appBridge.language = "zh"

            mouseClick(part(panel, "readButton"))
            var dialog = part(panel, "confirmDialog")
            compare(dialog.title, "放弃 3 项未写入的修改？")
            keyClick(Qt.Key_Escape)
            compare(appBridge.callNames().length, 1)
            compare(pitch.value, 11)

            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [5, 11, 255, 30])
            compare(part(panel, "unconfirmedCount").text, "3 项待读取确认")
            compare(pitch.hint, "已写入，等待读取确认")
            setBridge({ tavoxFpvMode: 5, tavoxPitchMaxSpeed: 11, tavoxRollMaxSpeed: 255 })
            linkMonitor.parametersArrived()
            tryCompare(part(panel, "unconfirmedCount"), "visible", false)

            mouseClick(part(pitch, "spinUp"))
            mouseClick(part(panel, "readButton"))
            compare(dialog.title, "放弃 1 项未写入的修改？")
            confirmByKeys()
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteGimbalConfig", "tavoxReadParams"])
            compare(pitch.value, 11)
        }
    }

    TavoxTestCase {
        name: "TorquePanel"
        subject: Component { TorquePanel { width: 420; height: 460 } }

        function test_writeAsksFirstThenSendsWhatIsShown() {
            setBridge({ tavoxRollMaxTorque: 0 })
            var panel = createSubject()
            var roll = part(panel, "rollTorque")
            typeInto(roll, [Qt.Key_Return])
            compare(roll.value, 0)
            compare(part(roll, "rangeNote").text, "超出 1..30000")
            verify(!part(panel, "writeButton").enabled)
            appBridge.tavoxRollMaxTorque = 10000
            mouseClick(part(panel, "writeButton"))
            var dialog = part(panel, "confirmDialog")
            compare(dialog.title, "写入并重启控制器？")
            appBridge.language = "en"
            compare(dialog.text, "Writing the torques restarts the controller; its motors stop for a moment.")
            compare(part(dialog, "confirmAccept").text, "Write and restart")
            keyClick(Qt.Key_Escape)
            compare(appBridge.callNames(), [])

            typeInto(part(panel, "yawTorque"), "30000")
            keyClick(Qt.Key_Tab)
            mouseClick(part(panel, "writeButton"))
            mouseClick(part(dialog, "confirmAccept"))
            compare(appBridge.callNames(), ["tavoxWriteTorque"])
            compare(appBridge.lastArgs("tavoxWriteTorque"), [8000, 10000, 30000])
        }

        function test_revertHandsTheKeyboardOn() {
            var panel = createSubject()
            typeInto(part(panel, "yawTorque"), "1234")
            keyClick(Qt.Key_Tab)
            var revert = part(panel, "revertButton")
            tryCompare(revert, "visible", true)
            revert.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            compare(part(panel, "yawTorque").value, 12000)
            verify(part(part(panel, "pitchTorque"), "spinField").activeFocus)
            verify(part(part(panel, "pitchTorque"), "focusRing").visible)
        }
    }

    TavoxTestCase {
        name: "TavoxCameraPanel"
        subject: Component { TavoxCameraPanel { width: 420; height: 300 } }

        function test_writeSendsTheChoice() {
            var panel = createSubject()
            var combo = part(panel, "cameraCombo")
            compare(combo.contentItem.text, "相机上置")
            choose(combo, 0)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxWriteCameraPosition"])
            compare(appBridge.lastArgs("tavoxWriteCameraPosition"), [0])
        }
    }

    TavoxTestCase {
        name: "UpgradePanel"
        subject: Component { UpgradePanel { width: 420; height: 320 } }

        // answers: the keys that answer each question in turn; noSnapshot: no parameters read since the port opened.
        function test_startIsAskedFirst_data() {
            var path = upgradeImagePath
            var yes = [Qt.Key_Tab, Qt.Key_Return]
            var select = "tavoxSelectUpgradeFile", query = "tavoxQueryVersion"
            return [
                { tag: "no file", path: "", answers: [], calls: [select, query] },
                { tag: "no snapshot, Escape", path: path, noSnapshot: true, answers: [[Qt.Key_Escape]], calls: [select, query] },
                { tag: "no snapshot, confirmed, then confirmed", path: path, noSnapshot: true, answers: [yes, yes],
                  start: [path], calls: [select, "tavoxStartUpgrade", query] }
            ]
        }

        function test_startIsAskedFirst(data) {
            setBridge({ tavoxUpgradeFilePath: data.path })
            var panel = createSubject({ keepsSnapshot: !data.noSnapshot })
            var question = part(panel, "snapshotQuestion")
            var confirmation = part(panel, "confirmDialog")
            compare(part(panel, "filePathField").text, data.path)
            mouseClick(part(panel, "browseButton"))
            mouseClick(part(panel, "startButton"))
            compare(question.opened, data.noSnapshot === true)
            if (question.opened)
                compare(question.title, "不保存参数快照就升级？")
            for (var i = 0; i < data.answers.length; ++i) {
                tryVerify(function() { return question.opened || confirmation.opened })
                // the version the attached controller reported on this link, not the bridge double's stale "-"
                if (confirmation.opened)
                    tryVerify(function() { return confirmation.text.indexOf("当前固件版本: 1.0.0.60") >= 0 }, 5000)
                pressKeys(data.answers[i])
            }
            tryVerify(function() { return !question.opened && !confirmation.opened })
            mouseClick(part(panel, "queryButton"))
            compare(appBridge.callNames(), data.calls)
            compare(appBridge.lastArgs("tavoxStartUpgrade"), data.start)
        }
    }

    TavoxTestCase {
        name: "SteadyLayout"

        Component { id: torquePanel; TorquePanel { width: 420; height: 460 } }
        Component { id: channelPanel; TavoxChannelPanel { width: 800; height: 600 } }
        Component { id: sidebar; SidebarPanel { width: 220; height: 900 } }
        Component { id: serviceBar; ServiceTools { width: 1108 } }

        function test_statusTakesNoPlace_data() {
            return [
                { tag: "unsaved and Revert", subject: torquePanel, watched: "pitchTorque",
                  change: function(item) { typeInto(part(item, "yawTorque"), "1234"); keyClick(Qt.Key_Tab) } },
                { tag: "unsaved under the channel tabs", subject: channelPanel, watched: "sbusPitch",
                  change: function(item) { choose(part(item, "sbusPitch"), 5) } },
                { tag: "Port absent", subject: sidebar, watched: "serialBaudCombo",
                  change: function(item) { part(item, "serialPortCombo").editText = "/dev/ttyGone" } },
                { tag: "port closed", subject: serviceBar, watched: "backupButton",
                  change: function(item) { part(item, "linkHealthView").health = linkHealthWith({ portOpen: false, sinceHeartbeatMs: -1 }) } }
            ]
        }

        function test_statusTakesNoPlace(data) {
            var item = createTemporaryObject(data.subject, scene)
            waitForRendering(item)
            var watched = part(item, data.watched)
            var before = watched.mapToItem(item, 0, 0)
            data.change(item)
            waitForRendering(item)
            compare(watched.mapToItem(item, 0, 0), before)
        }
    }

    TavoxTestCase {
        name: "MessageLogPanel"
        subject: Component { MessageLogPanel { width: 800; height: 180 } }

        function entry(view, fragment) {
            var items = view.contentItem.children
            for (var i = 0; i < items.length; ++i) {
                if (items[i].text !== undefined && items[i].text.indexOf(fragment) >= 0)
                    return items[i]
            }
            return null
        }

        // Run last: Clear empties the record of the connection.
        function test_entriesAreColouredByKindSelectableAndCleared() {
            var panel = createSubject()
            var view = part(panel, "messageLogArea")
            tryVerify(function() { return entry(view, "参数读取成功") !== null })
            compare(String(entry(view, "参数读取成功").color), "#67c23a")
            compare(String(entry(view, "正在读取参数").color), "#606266")
            verify(entry(view, "参数读取成功").selectByMouse)
            mouseClick(part(panel, "clearButton"))
            compare(view.count, 0)
        }

        function test_collapsedLogKeepsItsPlace_data() {
            return [ { tag: "at the newest", scrolledUp: false }, { tag: "scrolled up", scrolledUp: true } ]
        }

        function test_collapsedLogKeepsItsPlace(data) {
            var panel = createSubject({ height: 240 })
            var view = part(panel, "messageLogArea")
            tryVerify(function() { return view.contentHeight > view.height && view.atYEnd })
            if (data.scrolledUp) {
                mouseWheel(view, 50, 20, 0, 120)
                tryCompare(view, "moving", false)
                verify(!view.atYEnd)
            }
            panel.height = 120
            waitForRendering(panel)
            compare(view.atYEnd, !data.scrolledUp)
        }
    }

    SignalSpy { id: tick; target: linkHealth; signalName: "changed" }

    // As wide as the service bar of a 1366-pixel window.
    Component { id: narrowBar; ServiceTools { width: 1108 } }

    TavoxTestCase {
        name: "ServiceTools"
        subject: Component { ServiceTools { width: 1100 } }

        function init() {
            appBridge.reset()
            appBridge.language = "en"
        }

        function test_lostLinkKeepsItsWordsInANarrowWindow_data() {
            return [{ tag: "en", language: "en", state: "Link lost — no heartbeat", heartbeat: "last heartbeat 7400 ms" },
                    { tag: "zh", language: "zh", state: "链路中断 — 无心跳", heartbeat: "距上次心跳 7400 ms" }]
        }
        function test_lostLinkKeepsItsWordsInANarrowWindow(data) {
            appBridge.language = data.language
            var tools = createTemporaryObject(narrowBar, scene)
            waitForRendering(tools)
            var view = part(tools, "linkHealthView")
            view.health = linkHealthWith({ linkLost: true, sinceHeartbeatMs: 7400, bytesPerSecond: 12, crcFailures: 1250,
                                           headerSumFailures: 318, resyncBytes: 40960 })
            var state = part(tools, "linkHealthState")
            var heartbeat = part(tools, "linkHealthHeartbeat")
            var figures = part(tools, "linkHealthFigures")
            compare(state.text, data.state)
            compare(heartbeat.text, data.heartbeat)
            // Laid out again for the new words at the next polish.
            tryVerify(function() { return state.width >= state.implicitWidth && heartbeat.width >= heartbeat.implicitWidth })
            verify(!state.truncated && !heartbeat.truncated)
            var backup = part(tools, "backupButton")
            verify(heartbeat.mapToItem(tools, heartbeat.width, 0).x <= backup.mapToItem(tools, 0, 0).x)
            verify(!backup.contentItem.truncated)
            verify(figures.truncated)
            compare(view.Accessible.name, data.state + " · " + data.heartbeat + " · " + figures.text)
            mouseMove(figures, 5, 5)
            tryCompare(view, "wholeTextShown", true)
        }

        function test_linkHealthAndPlotsDrawerOnTheRealLink() {
            var tools = createSubject()
            tryCompare(part(tools, "linkHealthState"), "text", "Link OK", processWaitMs)
            tryVerify(function() { return linkHealth.framesPerSecond > 0 }, processWaitMs)
            verify(part(tools, "linkHealthFigures").text.indexOf(" frames/s · ") > 0)
            var mark = part(tools, "recordingMark")
            tryCompare(mark, "shown", true, processWaitMs)
            compare(mark.Accessible.name, "recording: " + sessionRecorder.filePath)
            var loader = part(tools, "plotsLoader")
            compare(telemetryHistory.active, false)

            var button = part(tools, "plotsButton")
            button.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            var drawer = part(loader.item, "plotsDrawer")
            tryCompare(drawer, "opened", true)
            compare(telemetryHistory.active, true)
            var before = telemetryHistory.sampleCount
            tryVerify(function() { return telemetryHistory.sampleCount > before }, processWaitMs)

            var pause = part(drawer.contentItem, "plotPause")
            mouseClick(pause)
            compare(pause.text, "Resume")
            var frozen = telemetryHistory.sampleCount
            // Two refreshes of the link's figures are a second of heartbeats apart.
            tick.clear()
            tryCompare(tick, "count", 2, processWaitMs)
            compare(telemetryHistory.sampleCount, frozen)

            keyClick(Qt.Key_Escape)
            tryCompare(loader, "active", false)
            compare(telemetryHistory.active, false)
            tryCompare(button, "activeFocus", true)
            verify(button.visualFocus)
            appBridge.language = "zh"
            compare(part(tools, "linkHealthState").text, "链路正常")
        }
    }

    ListModel {
        id: fakeRestore

        property int state: ParamRestore.Ready
        property string sourceName: "backup.json"
        property string statusText: "2 fields differ"
        property int checkedCount: 2
        property bool selectionRestartsController: false
        property int writes: 0
        property int clears: 0

        signal opened()

        function setChecked(row, checked) {
            setProperty(row, "checked", checked)
            checkedCount += checked ? 1 : -1
        }
        function writeSelected() { ++writes }
        function clear() { ++clears }
    }

    TavoxTestCase {
        name: "ParamDiffDialog"
        subject: Component { ParamDiffDialog { restore: fakeRestore } }

        function init() {
            appBridge.reset()
            appBridge.language = "en"
            fakeRestore.state = ParamRestore.Ready
            fakeRestore.checkedCount = 2
            fakeRestore.selectionRestartsController = false
            fakeRestore.writes = 0
            fakeRestore.clears = 0
            if (fakeRestore.count > 0)
                fakeRestore.remove(0, fakeRestore.count)
            fakeRestore.append(row("gimbal.pitchMaxSpeed", "Pitch Max Speed", 11, 60, "0..255"))
            fakeRestore.append(row("gimbal.pitchMaxTorque", "Pitch Torque", 8100, 8000, "1..30000"))
            fakeRestore.append(row("gimbal.rollMaxTorque", "Roll Torque", 10000, 40000, "1..30000"))
        }

        function row(field, label, device, file, range) {
            var low = Number(range.split("..")[0]), high = Number(range.split("..")[1])
            return { field: field, label: label, deviceText: String(device), fileText: String(file), range: range,
                     deviceInRange: device >= low && device <= high, fileInRange: file >= low && file <= high,
                     checked: file >= low && file <= high, verification: ParamRestore.NotChecked }
        }

        // Delegates are made when the list lays itself out.
        function rowPart(dialog, name) {
            tryVerify(function() { return findChild(dialog.contentItem, name) !== null }, 5000, name)
            return findChild(dialog.contentItem, name)
        }

        function openDialog() {
            var dialog = createTemporaryObject(subject, scene)
            fakeRestore.opened()
            tryCompare(dialog, "opened", true)
            return dialog
        }

        function test_rowsTicksAndWrite() {
            var dialog = openDialog()
            var outside = findChild(rowPart(dialog, "rowFile_gimbal.rollMaxTorque"), "rangeNote")
            verify(outside.visible)
            compare(outside.text, "outside 1..30000")
            verify(!rowPart(dialog, "rowCheck_gimbal.rollMaxTorque").enabled)
            verify(!findChild(rowPart(dialog, "rowDevice_gimbal.rollMaxTorque"), "rangeNote").visible)
            var write = findChild(dialog.contentItem, "paramDiffWrite")
            compare(write.text, "Write selected (2)")

            compare(rowPart(dialog, "rowLabel_gimbal.pitchMaxTorque").text, "Pitch Torque")
            compare(rowPart(dialog, "rowKey_gimbal.pitchMaxTorque").text, "gimbal.pitchMaxTorque")

            mouseClick(rowPart(dialog, "rowCheck_gimbal.pitchMaxTorque"))
            compare(fakeRestore.get(1).checked, false)
            compare(write.text, "Write selected (1)")

            mouseClick(write)
            compare(fakeRestore.writes, 1)
            fakeRestore.selectionRestartsController = true
            mouseClick(write)
            compare(fakeRestore.writes, 1)
            var confirm = findChild(dialog, "confirmDialog")
            tryCompare(confirm, "opened", true)
            mouseClick(findChild(confirm.contentItem, "confirmAccept"))
            compare(fakeRestore.writes, 2)
        }

        function test_verificationShownPerRow() {
            var dialog = openDialog()
            fakeRestore.state = ParamRestore.Verified
            fakeRestore.setProperty(0, "verification", ParamRestore.Matches)
            fakeRestore.setProperty(1, "verification", ParamRestore.Differs)
            compare(rowPart(dialog, "rowVerification_gimbal.pitchMaxSpeed").text, "✓ verified")
            compare(rowPart(dialog, "rowVerification_gimbal.pitchMaxTorque").text, "✗ not taken")
            verify(!findChild(dialog.contentItem, "paramDiffWrite").enabled)
            appBridge.language = "zh"
            compare(findChild(dialog.contentItem, "paramDiffTitle").text, "恢复参数: backup.json")

            mouseClick(findChild(dialog.contentItem, "paramDiffClose"))
            tryCompare(dialog, "opened", false)
            verify(fakeRestore.clears > 0)
        }
    }

    TavoxTestCase {
        name: "SidebarPanel"
        subject: Component { SidebarPanel { width: 220; height: 936 } }

        readonly property var colours: ({ g: "#67c23a", o: "#e6a23c", r: "#f56c6c", x: "#909399" })

        function init() {
            appBridge.reset()
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            portCatalog.choose("/dev/ttyUSB0")
        }

        function test_serialSwitch_data() {
            return [
                { tag: "opens the chosen port and rate", ports: ["/dev/ttyUSB0", "/dev/pts/7"], port: 1, baud: 1,
                  calls: ["openSerial"], opened: ["/dev/pts/7", 115200] },
                { tag: "a typed path", ports: ["/dev/ttyUSB0"], typed: "/tmp/bench/gimbal", baud: 0, calls: ["openSerial"],
                  opened: ["/tmp/bench/gimbal", 921600] },
                { tag: "Enter in a typed path connects", ports: ["/dev/ttyUSB0"], typed: "/tmp/bench/gimbal", enter: true, baud: 0,
                  calls: ["openSerial"], opened: ["/tmp/bench/gimbal", 921600] },
                { tag: "Enter in an empty path refreshes", ports: [], typed: " ", enter: true, baud: 0, calls: ["refreshSerialPorts"] },
                { tag: "failed open springs back", ports: ["/dev/ttyUSB0"], port: 0, baud: 0, fails: true, calls: ["openSerial"] },
                { tag: "no port refreshes", ports: [], port: -1, baud: 0, calls: ["refreshSerialPorts"] },
                { tag: "no rate refreshes", ports: ["/dev/ttyUSB0"], port: 0, baud: -1, calls: ["refreshSerialPorts"] }
            ]
        }

        function test_serialSwitch(data) {
            setBridge({ serialPorts: data.ports, openSerialResult: !data.fails })
            var sidebar = createSubject()
            var serialSwitch = part(sidebar, "serialSwitch")
            var ports = part(sidebar, "serialPortCombo")
            part(sidebar, "serialBaudCombo").currentIndex = data.baud
            if (data.typed) {
                ports.contentItem.forceActiveFocus()
                ports.contentItem.selectAll()
                pressKeys(data.typed)
            } else {
                ports.currentIndex = data.port
            }
            if (data.enter)
                keyClick(Qt.Key_Return)
            else
                serialSwitch.flip()
            compare(appBridge.callNames(), data.calls)
            compare(serialSwitch.checked, data.opened !== undefined)
            if (!data.opened)
                return
            compare(appBridge.lastArgs("openSerial"), data.opened)
            compare(portCatalog.lastPort, data.opened[0], "remembered for the next start")
            portCatalog.remember("/dev/pts/0", 921600)
        }

        function test_choiceOutlivesThePortList() {
            portCatalog.remember("/dev/ttyUSB1", 115200)
            appBridge.serialPorts = ["/dev/ttyUSB0", "/dev/ttyUSB1"]
            portCatalog.choose("/dev/ttyUSB1")
            var sidebar = createSubject()
            var combo = part(sidebar, "serialPortCombo")
            compare(part(sidebar, "serialBaudCombo").currentText, "115200")
            appBridge.serialPorts = ["/dev/ttyACM0"]
            compare(combo.model, ["/dev/ttyACM0", "/dev/ttyUSB1"])
            compare(part(sidebar, "portNoteText").text, "端口不在")
            compare(combo.entryNote("/dev/ttyUSB1"), "不在")
            compare(combo.entryNote("/dev/ttyACM0"), "")
            appBridge.serialPorts = ["/dev/ttyUSB1", "/dev/ttyACM0"]
            compare(combo.currentText, "/dev/ttyUSB1")
            compare(part(sidebar, "portNoteText").text, "")
            choose(combo, 1)
            compare(portCatalog.chosenName, "/dev/ttyACM0")
            portCatalog.remember("/dev/pts/0", 921600)
        }

        function test_reconnectionCanBeTurnedOff() {
            var check = part(createSubject(), "reconnectCheck")
            verify(check.checked)
            mouseClick(check)
            verify(!autoReconnect.enabled)
            mouseClick(check)
            verify(autoReconnect.enabled)
        }

        // Names that differ only at their ends stay apart in the box and in
        // the list. The system is asked for the port's details only on hover.
        function test_portHintHasTheWholeName() {
            var longName = "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"
            var twin = longName.replace(/0$/, "1")
            appBridge.serialPorts = [longName, twin]
            portCatalog.choose(longName)
            var combo = part(createSubject(), "serialPortCombo")
            var shown = part(combo, "comboShortText").text
            verify(shown.length < longName.length && shown.endsWith("port0"), shown)
            compare(combo.Accessible.description, longName)
            combo.popup.open()
            var list = combo.popup.contentItem
            tryVerify(function() { return list.itemAtIndex(1) !== null })
            var listed = [0, 1].map(function(i) { return findChild(list.itemAtIndex(i), "entryText").text })
            verify(listed[0].endsWith("port0") && listed[1].endsWith("port1"), listed)
            combo.popup.close()
            compare(combo.hint, "")
            combo.hoverEnabled = true   // as on a desktop with a mouse
            mouseMove(combo, combo.width / 2, combo.height / 2)
            tryCompare(combo, "hovered", true)
            compare(combo.hint.split("\n")[0], longName)
            compare(combo.entryHint(longName).split("\n")[0], longName)
        }

        // texts: attitude, joint, voltage, imu, motor; dots: g green, o orange, r red, x grey.
        function test_status_data() {
            var live = { serialOpened: true, hbReceived: true, hbAttiReady: true, hbJointInitOk: true }
            var wrong = { hbAttiReady: false, hbJointInitOk: false, hbUnderVolt: true, hbMemsLost: true, hbActuator: 1 }
            return [
                { tag: "closed, heartbeat seen", bridge: Object.assign({}, live, { serialOpened: false, language: "en" }),
                  texts: ["N/A", "N/A", "N/A", "N/A", "N/A"], dots: "xxxxx" },
                { tag: "open, no heartbeat", bridge: Object.assign({}, live, { hbReceived: false }),
                  texts: ["未获得", "未获得", "未获得", "未获得", "未获得"], dots: "xxxxx" },
                { tag: "all well", bridge: live, texts: ["就绪", "已初始化", "正常", "正常", "正常"], dots: "ggggg" },
                { tag: "all wrong, stall", bridge: Object.assign({ language: "en" }, live, wrong),
                  texts: ["Not Ready", "Initing", "Under Volt", "Lost", "Stall"], dots: "rorrr" },
                { tag: "motor 2 is off", bridge: Object.assign({ hbActuator: 2 }, live),
                  texts: ["就绪", "已初始化", "正常", "正常", "关闭"], dots: "ggggx" }
            ]
        }

        function test_status(data) {
            var sidebar = createSubject()
            setBridge({ hbPitch: -12.346, hbImuTemp: 36.6 })
            setBridge(data.bridge)
            var keys = ["attitude", "joint", "voltage", "imu", "motor"]
            for (var i = 0; i < keys.length; ++i) {
                tryCompare(part(sidebar, keys[i] + "Text"), "text", data.texts[i], 5000, keys[i])
                compare(String(part(sidebar, keys[i] + "Dot").color), colours[data.dots[i]], keys[i] + " dot")
            }
            var shown = data.bridge.serialOpened && data.bridge.hbReceived
            tryCompare(part(sidebar, "pitchValue"), "text", shown ? "-12.35°" : "--")
            tryCompare(part(sidebar, "tempValue"), "text", shown ? "37°C" : "--")
        }

        function test_codesGiveWayWhenShort() {
            var sidebar = createSubject()
            verify(part(sidebar, "qrCodes").visible)
            sidebar.height = 700
            tryCompare(part(sidebar, "qrCodes"), "visible", false)
            var temperature = part(sidebar, "tempValue")
            verify(temperature.mapToItem(sidebar, 0, temperature.height).y <= part(sidebar, "zhChoice").mapToItem(sidebar, 0, 0).y)
            sidebar.height = 936
            tryCompare(part(sidebar, "qrCodes"), "visible", true)
        }

        function test_linkStatusIsWhole_data() {
            return [{ tag: "en connected", text: "Connected to /tmp/tavox-sim — firmware 1.0.0.60" },
                    { tag: "en lost", text: "Link lost: no heartbeat on /tmp/tavox-sim" },
                    { tag: "zh connected", text: "已连接 /tmp/tavox-sim — 固件 1.0.0.60" },
                    { tag: "zh lost", text: "链路中断：/tmp/tavox-sim 上无心跳" },
                    { tag: "en long port", text: "Connected to " + longPort + " — firmware 1.0.0.60", port: longPort },
                    { tag: "zh long port", text: "已连接 " + longPort + " — 固件 1.0.0.60", port: longPort }]
        }
        readonly property string longPort: "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
        function test_linkStatusIsWhole(data) {
            // In the window's font, whose lines are taller than the default's.
            var sidebar = createSubject({ fontFamily: appFontFamily })
            var status = part(sidebar, "linkStatusText")
            status.text = status.fitted(data.text, data.port || "/tmp/tavox-sim")
            waitForRendering(status)
            verify(status.lineCount <= 2)
            verify(!status.truncated)
            verify(status.text.endsWith(data.text.slice(-8)), status.text)
        }

        Component { id: serialControls; SerialControls { width: 100 } }
        function test_longLinkStatusHasATooltip() {
            var sidebar = createTemporaryObject(serialControls, scene)
            var status = part(sidebar, "linkStatusText")
            // Cut, or its port name shortened, once the firmware is known.
            tryVerify(function() { return status.truncated || status.text !== linkMonitor.statusText }, processWaitMs)
            mouseMove(status, 5, 5)
            tryCompare(status, "wholeTextShown", true)
            mouseMove(sidebar, 5, sidebar.height - 5)
            tryCompare(status, "wholeTextShown", false)
        }

        function test_languageSwitch() {
            var sidebar = createSubject()
            var serialSwitch = part(sidebar, "serialSwitch")
            var zh = part(sidebar, "zhChoice")
            var en = part(sidebar, "enChoice")
            compare(serialSwitch.Accessible.name, "串口开关")
            en.Accessible.pressAction()
            compare(appBridge.language, "en")
            compare(serialSwitch.Accessible.name, "Serial Switch")
            verify(en.Accessible.checked && !zh.Accessible.checked)
            serialSwitch.Accessible.toggleAction()
            verify(serialSwitch.checked && serialSwitch.Accessible.checked)
            compare(appBridge.callNames(), ["openSerial"])

            zh.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            compare(appBridge.language, "zh")
            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Return)
            compare(appBridge.language, "en")
            mouseClick(zh)
            compare(appBridge.language, "zh")
            verify(zh.font.bold && !en.font.bold)
        }
    }

    TavoxTestCase {
        name: "TavoxChannelPanel"
        subject: Component { TavoxChannelPanel { anchors.fill: parent } }

        function showPage(panel, tab, page) {
            mouseClick(part(panel, tab))
            compare(part(panel, "channelStack").currentIndex, page)
        }

        function test_crsfTabFollowsFirmware_data() {
            return [
                { tag: "numbers, not text", version: "1.0.0.100", tab: "crsfTab", page: 2, crsf: true, after: 2 },
                { tag: "a fifth part", version: "1.0.0.59.1", tab: "crsfTab", page: 2, crsf: true, after: 2 },
                { tag: "1.0.0.59.0 while shown", version: "1.0.0.59.0", tab: "crsfTab", page: 2, crsf: false, after: 0 },
                { tag: "none while on PWM", version: "-", tab: "pwmTab", page: 1, crsf: false, after: 1 }
            ]
        }

        function test_crsfTabFollowsFirmware(data) {
            appBridge.tavoxFirmwareVersion = "1.0.0.60"
            var panel = createSubject()
            showPage(panel, data.tab, data.page)
            appBridge.tavoxFirmwareVersion = data.version
            compare(part(panel, "crsfTab").visible, data.crsf)
            fuzzyCompare(part(panel, "pwmTab").width, part(panel, "channelTabs").width / (data.crsf ? 3 : 2), 0.01)
            compare(part(panel, "channelStack").currentIndex, data.after)
        }

        function test_channelNumbers_data() {
            return [
                { tag: "none", page: "sbus", combo: "sbusLock", property: "tavoxSbusLockCh", ch: 0, text: "NONE" },
                { tag: "16", page: "sbus", combo: "sbusLock", property: "tavoxSbusLockCh", ch: 16, text: "CH16" },
                { tag: "above 16", page: "crsf", combo: "crsfYaw", property: "tavoxCrsfYawCh", ch: 17, text: "17", outside: true },
                { tag: "PWM above 3", page: "pwm", combo: "pwmYaw", property: "tavoxPwmYawCh", ch: 5, text: "5", outside: true }
            ]
        }

        function test_channelNumbers(data) {
            var panel = createSubject()
            appBridge[data.property] = data.ch
            var combo = part(panel, data.combo)
            compare(combo.contentItem.text, data.text)
            compare(combo.outsideRange, data.outside === true)
            compare(part(panel, data.page + "Write").enabled, data.outside !== true)
        }

        readonly property var fields: [
            "sbusPitch tavoxSbusPitchCh sbus.pitchChannel", "sbusRoll tavoxSbusRollCh sbus.rollChannel",
            "sbusYaw tavoxSbusYawCh sbus.yawChannel", "sbusCenter tavoxSbusCenterCh sbus.centerChannel",
            "sbusLock tavoxSbusLockCh sbus.lockChannel", "sbusMode tavoxSbusMode sbus.mode",
            "sbusPitchDir tavoxSbusPitchDir sbus.pitchDirection", "sbusRollDir tavoxSbusRollDir sbus.rollDirection",
            "sbusYawDir tavoxSbusYawDir sbus.yawDirection",
            "pwmPitch tavoxPwmPitchCh pwm.pitchChannel", "pwmYaw tavoxPwmYawCh pwm.yawChannel",
            "pwmCenter tavoxPwmCenterCh pwm.centerChannel", "pwmCenter2ndFcn tavoxPwmLockCh pwm.lockChannel",
            "pwmMode tavoxPwmMode pwm.mode", "pwmPitchDir tavoxPwmPitchDir pwm.pitchDirection",
            "pwmYawDir tavoxPwmYawDir pwm.yawDirection",
            "crsfPitch tavoxCrsfPitchCh crsf.pitchChannel", "crsfRoll tavoxCrsfRollCh crsf.rollChannel",
            "crsfYaw tavoxCrsfYawCh crsf.yawChannel", "crsfCenter tavoxCrsfCenterCh crsf.centerChannel",
            "crsfLock tavoxCrsfLockCh crsf.lockChannel", "crsfMode tavoxCrsfMode crsf.mode",
            "crsfPitchDir tavoxCrsfPitchDir crsf.pitchDirection", "crsfRollDir tavoxCrsfRollDir crsf.rollDirection",
            "crsfYawDir tavoxCrsfYawDir crsf.yawDirection"
        ].map(function(row) { var f = row.split(" "); return { combo: f[0], property: f[1], field: f[2] } })

        function test_everyComboReloadsOnAParameterSet() {
            var panel = createSubject()
            var shown = fields.map(function(f, i) {
                var combo = part(panel, f.combo)
                return (combo.currentIndex + 1 + i) % combo.count
            })
            for (var i = 0; i < fields.length; ++i)
                appBridge[fields[i].property] = shown[i]
            appBridge.tavoxParamsChanged()
            for (var j = 0; j < fields.length; ++j)
                compare(part(panel, fields[j].combo).currentIndex, shown[j], fields[j].combo)
            choose(part(panel, "sbusPitch"), 5)
            appBridge.tavoxSbusPitchCh = 8
            appBridge.tavoxParamsChanged()
            compare(part(panel, "sbusPitch").currentIndex, 5)
            compare(part(panel, "sbusPitch").hint, "控制器的值: CH8")
        }

        function test_restoredFieldsAreEditedNoLonger() {
            var panel = createSubject()
            for (var i = 0; i < fields.length; ++i) {
                var combo = part(panel, fields[i].combo)
                choose(combo, combo.currentIndex === 0 ? 1 : 0)
            }
            paramRestore.restored(fields.map(function(f) { return f.field })
                                        .filter(function(field) { return field !== "sbus.lockChannel" }))
            for (var j = 0; j < fields.length; ++j)
                compare(part(panel, fields[j].combo).edited, fields[j].combo === "sbusLock", fields[j].combo)
        }

        function test_readAndWrite_data() {
            var pwm = "Pitch Yaw Center Center2ndFcn Mode PitchDir YawDir"
            return [
                { tag: "PWM", page: 1, prefix: "pwm", call: "tavoxWritePwmChannelsWithDir", combos: pwm,
                  args: [2, 3, 1, 0, 1, 1, 0] },
                { tag: "PWM pitch and center on one channel", page: 1, prefix: "pwm", call: "tavoxWritePwmChannelsWithDir",
                  combos: pwm, args: [3, 2, 3, 0, 1, 1, 0], conflict: "俯仰与回中同为 PWM3" },
                { tag: "CRSF", page: 2, prefix: "crsf", call: "tavoxWriteCrsfChannelsWithDir",
                  combos: "Pitch Roll Yaw Center Lock Mode PitchDir RollDir YawDir", args: [1, 2, 3, 0, 16, 1, 1, 0, 0] }
            ]
        }

        function test_readAndWrite(data) {
            appBridge.tavoxFirmwareVersion = "1.0.0.61"
            var panel = createSubject()
            showPage(panel, data.prefix + "Tab", data.page)
            var combos = data.combos.split(" ")
            for (var i = 0; i < combos.length; ++i)
                choose(part(panel, data.prefix + combos[i]), data.args[i])
            // an edit on another receiver's page, which this write does not send
            var other = part(panel, data.prefix === "pwm" ? "sbusMode" : "pwmMode")
            choose(other, 1 - other.currentIndex)
            mouseClick(part(panel, data.prefix + "Write"))
            compare(part(panel, "pwmPitchConflict").visible && part(panel, "pwmCenterConflict").visible, !!data.conflict)
            if (data.conflict) {
                compare(part(panel, "confirmDialog").title, "在" + data.conflict + "的情况下写入？")
                confirmByKeys()
            }
            tryVerify(function() { return part(panel, "confirmDialog").opened })
            confirmByKeys()
            compare(appBridge.lastArgs(data.call), data.args)
            verify(other.edited && !other.unconfirmed)
            mouseClick(part(panel, data.prefix + "Read"))
            compare(part(panel, "confirmDialog").title, "放弃 1 项未写入的修改？")
            confirmByKeys()
            compare(appBridge.callNames(), [data.call, "tavoxReadParams"])
        }

        function test_liveValues() {
            appBridge.tavoxFirmwareVersion = "1.0.0.60"
            var panel = createSubject()
            setBridge({ hbSbusPitchValue: 1500, hbCrsfLockValue: 992, hbReceived: true })
            tryCompare(part(panel, "sbusPitchValue"), "value", "1500")
            compare(part(panel, "crsfLockValue").value, "--", "hidden page")
            showPage(panel, "crsfTab", 2)
            // CRSF values have a presence flag of their own.
            compare(part(panel, "crsfLockValue").value, "--")
            setBridge({ hbCrsfValuePresent: true, hbReceived: false })
            tryCompare(part(panel, "crsfLockValue"), "value", "992")
            compare(part(panel, "sbusPitchValue").value, "--")
            showPage(panel, "sbusTab", 0)
            compare(part(panel, "crsfLockValue").value, "--")
        }

        function test_columnsKeepTheirWidths() {
            var panel = createSubject()
            var pitch = part(panel, "sbusPitch")
            var direction = part(panel, "sbusPitchDir")
            var value = part(panel, "sbusPitchValue")
            var widths = [pitch.width, direction.width, value.x]
            for (var index = 0; index < 17; index += 8) {
                pitch.currentIndex = index
                direction.currentIndex = index % 2
                waitForRendering(panel)
                compare([pitch.width, direction.width, value.x], widths, "CH" + index)
            }
            var directionEnd = direction.mapToItem(panel, direction.width, 0).x
            fuzzyCompare(part(panel, "sbusCenter").width, directionEnd - pitch.mapToItem(panel, 0, 0).x, 1)
        }
    }
}
