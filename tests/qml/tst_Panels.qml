import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"
import "../../qml/dialogs"
import "../../qml/panels"

Item {
    id: scene
    width: 1200
    height: 900

    // The cases run from the last in the file to the first: this one ends on a slower line for the bridge.
    TavoxTestCase {
        name: "UpgradePanelStates"
        subject: Component { UpgradePanel { width: 420; height: 320 } }

        // The failure on a closed port, the reopening and a success are the window's (tst_windowflows) and
        // the monitor's (tst_operator); here what the panel shows of them and its Cancel.
        function test_fileProgressPhaseAndResult() {
            verify(upgradeRig.openPacedController())
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            var panel = createSubject()
            var fileInfo = part(panel, "fileInfo")
            var phase = part(panel, "phaseText")
            var banner = part(panel, "resultBanner")

            verify(upgradeRig.chooseFile(40960))
            compare(fileInfo.text.replace(/^fw-\d+/, "fw"), "fw.bin  ·  " + upgradeMonitor.fileSizeText)
            upgradeRig.start()
            tryVerify(function() { return upgradeMonitor.progress > 0 }, processWaitMs)
            verify(phase.visible)
            verify(phase.text.indexOf("40960") > 0, phase.text)
            verify(!fileInfo.visible)
            compare(part(panel, "progressText").text, upgradeMonitor.progress + "%")

            // the versions are the closed link's: dimmed, marked, and why on hover
            upgradeRig.closePort()
            tryCompare(banner, "visible", true)
            compare(part(panel, "resultText").text, upgradeMonitor.resultText)
            verify(!phase.visible)
            var firmware = part(panel, "firmwareVersion")
            compare(firmware.text, appBridge.tavoxFirmwareVersion + " " + upgradeMonitor.versionsNote)
            verify(!firmware.font.bold)
            mouseMove(firmware, 2, 2)
            tryCompare(firmware, "hintShown", true)
            verify(upgradeRig.reopen())
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            tryCompare(firmware, "text", appBridge.tavoxFirmwareVersion, processWaitMs)
            verify(firmware.font.bold)

            // Cancel takes Start's place while flashing, asks first, and leaves the port open
            verify(upgradeRig.chooseFile(40960))
            upgradeRig.start()
            var cancel = part(panel, "cancelUpgradeButton")
            tryVerify(function() { return cancel.visible && cancel.enabled }, processWaitMs)
            verify(!part(panel, "startButton").visible)
            mouseClick(cancel)
            var question = part(panel, "confirmDialog")
            verify(question.text.indexOf("控制器停留在引导程序中，直到一次升级完成") === 0, question.text)
            confirmByKeys()
            tryCompare(upgradeMonitor, "result", UpgradeMonitor.Cancelled)
            verify(banner.visible)
            verify(upgradeMonitor.resultText.indexOf("操作员取消") > 0, upgradeMonitor.resultText)
            verify(upgradeMonitor.resultText.indexOf("检查连接线") < 0, "no cable is to blame")
            compare(linkMonitor.blockedReason, "", "the port stays open")
        }
    }

    TavoxTestCase {
        name: "GimbalConfigPanel"
        subject: Component { GimbalConfigPanel { width: 420; height: 420 } }

        // What the edits themselves do is FieldEdits' (tst_operator); here the panel's fields, words and calls.
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
            compare(fpv.hint, "控制器的值: YAW+ROLL+PITCH")
            appBridge.language = "en"
            compare(pitch.hint, "Controller's value: 10 (0–255)")
            appBridge.language = "zh"

            // a read asks first; Escape keeps the edits
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

            // a discarded edit goes back to the controller's value
            mouseClick(part(pitch, "spinUp"))
            mouseClick(part(panel, "readButton"))
            compare(dialog.title, "放弃 1 项未写入的修改？")
            confirmByKeys()
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteGimbalConfig", "tavoxReadParams"])
            compare(pitch.value, 11)
        }

        // The restore put the pitch speed back; the roll keeps its edit.
        function test_restoredFieldsAreEditedNoLonger() {
            setBridge({ tavoxPitchMaxSpeed: 10, tavoxRollMaxSpeed: 20 })
            var panel = createSubject()
            typeInto(part(panel, "pitchSpin"), "77")
            typeInto(part(panel, "rollSpin"), "78")
            keyClick(Qt.Key_Tab)
            paramRestore.restored(["gimbal.pitchMaxSpeed"])
            verify(!part(panel, "pitchSpin").edited)
            compare(part(panel, "editCount").text, "1 项未写入")
        }
    }

    TavoxTestCase {
        name: "TorquePanel"
        subject: Component { TorquePanel { width: 420; height: 460 } }

        function test_writeAsksFirstThenSendsWhatIsShown() {
            setBridge({ tavoxRollMaxTorque: 0 })
            var panel = createSubject()
            // a controller's value below the range is shown as it is, marked, and holds the write back
            var roll = part(panel, "rollTorque")
            typeInto(roll, [Qt.Key_Return])
            compare(roll.value, 0)
            compare(part(roll, "rangeNote").text, "超出 1..30000")
            verify(!part(panel, "writeButton").enabled)
            appBridge.tavoxRollMaxTorque = 10000
            mouseClick(part(panel, "writeButton"))
            var dialog = part(panel, "confirmDialog")
            verify(dialog.opened)
            keyClick(Qt.Key_Escape)
            compare(appBridge.callNames(), [])

            typeInto(part(panel, "yawTorque"), "30000")
            keyClick(Qt.Key_Tab)
            mouseClick(part(panel, "writeButton"))
            mouseClick(part(dialog, "confirmAccept"))
            compare(appBridge.callNames(), ["tavoxWriteTorque"])
            compare(appBridge.lastArgs("tavoxWriteTorque"), [8000, 10000, 30000])
        }

        // Revert takes its button away: the keyboard goes on to the panel's
        // first field, with its ring, rather than to nowhere.
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

        // An open question follows a change of language.
        function test_openQuestionIsRetranslated() {
            var panel = createSubject()
            mouseClick(part(panel, "writeButton"))
            var dialog = part(panel, "confirmDialog")
            compare(dialog.title, "写入并重启控制器？")
            appBridge.language = "en"
            compare(dialog.text, "Writing the torques restarts the controller; its motors stop for a moment.")
            compare(part(dialog, "confirmAccept").text, "Write and restart")
        }
    }

    TavoxTestCase {
        name: "TavoxCameraPanel"
        subject: Component { TavoxCameraPanel { width: 420; height: 300 } }

        // Until the read-back the choice stays as written: FieldEdits' (tst_operator).
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

        // answers: the keys that answer each question in turn. No parameters read from the attached
        // controller since the port was opened: whether to go on without a snapshot is asked first.
        function test_startIsAskedFirst_data() {
            var path = upgradeRig.writeImage(16)
            var yes = [Qt.Key_Tab, Qt.Key_Return]
            var select = "tavoxSelectUpgradeFile", query = "tavoxQueryVersion"
            return [
                { tag: "no file", path: "", answers: [], calls: [select, query] },
                { tag: "file chosen", path: path, answers: [yes], start: [path], calls: [select, "tavoxStartUpgrade", query] },
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

    // A status that appears takes no place from what is below or beside it:
    // the control under the pointer stays where it was.
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

        function test_entriesAreColouredByKindAndSelectable() {
            var panel = createSubject()
            var view = part(panel, "messageLogArea")
            tryVerify(function() { return entry(view, "参数读取成功") !== null })
            compare(String(entry(view, "参数读取成功").color), "#67c23a")
            compare(String(entry(view, "正在读取参数").color), "#606266")
            verify(entry(view, "参数读取成功").selectByMouse)
        }

        // Shorter (Collapse, the divider dragged down), the log still shows its
        // newest entry; an older one the operator scrolled to stays in view.
        // Run before Clear empties the record of the connection.
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

        function test_expandAndClear() {
            var panel = createSubject()
            mouseClick(part(panel, "expandButton"))
            verify(panel.expanded)
            mouseClick(part(panel, "clearButton"))
            compare(messageJournal.count, 0)
            compare(part(panel, "messageLogArea").count, 0)
        }
    }

    // The service bar over the real link: its health line, and the live plots drawer that exists and
    // records only while open.
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

        function test_linkHealthLine() {
            var tools = createSubject()
            tryCompare(part(tools, "linkHealthState"), "text", "Link OK", processWaitMs)
            tryVerify(function() { return linkHealth.framesPerSecond > 0 }, processWaitMs)
            var figures = part(tools, "linkHealthFigures")
            verify(figures.text.indexOf(" frames/s · ") > 0, figures.text)
            verify(part(tools, "linkHealthHeartbeat").text.indexOf("last heartbeat ") === 0)
            appBridge.language = "zh"
            compare(part(tools, "linkHealthState").text, "链路正常")
        }

        // The link lost, in a bar as wide as a 1366-pixel window gives it: the state
        // and the heartbeat's age stay whole, only the other figures give way,
        // and the whole line is there on hover and for a screen reader.
        function test_lostLinkKeepsItsWordsInANarrowWindow_data() {
            return [{ tag: "en", language: "en", state: "Link lost — no heartbeat", heartbeat: "last heartbeat 7400 ms",
                      figuresCut: true },
                    { tag: "zh", language: "zh", state: "链路中断 — 无心跳", heartbeat: "距上次心跳 7400 ms",
                      figuresCut: false }]
        }
        function test_lostLinkKeepsItsWordsInANarrowWindow(data) {
            appBridge.language = data.language
            var tools = createTemporaryObject(narrowBar, scene)
            waitForRendering(tools)
            var view = part(tools, "linkHealthView")
            // the port open and no heartbeat for 7.4 s, on a line with faults
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
            // Clear of the buttons beside it, which keep their words too.
            var backup = part(tools, "backupButton")
            verify(heartbeat.mapToItem(tools, heartbeat.width, 0).x <= backup.mapToItem(tools, 0, 0).x)
            verify(!backup.contentItem.truncated)
            compare(figures.truncated, data.figuresCut)
            compare(view.Accessible.name, data.state + " · " + data.heartbeat + " · " + figures.text)
            mouseMove(figures, 5, 5)
            tryCompare(view, "wholeTextShown", data.figuresCut)
        }

        function test_plotsDrawerLivesOnlyWhileOpen() {
            var tools = createSubject()
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
            // Between two refreshes of the link's figures lies a whole second of heartbeats, such as the
            // history took in a moment ago.
            tick.clear()
            tryCompare(tick, "count", 2, processWaitMs)
            compare(telemetryHistory.sampleCount, frozen)

            keyClick(Qt.Key_Escape)
            tryCompare(loader, "active", false)
            compare(telemetryHistory.active, false)
            // the keyboard that opened the drawer finds itself back on the button
            tryCompare(button, "activeFocus", true)
            verify(button.visualFocus)
        }
    }

    // The difference table over a stand-in for the restore: ticks go to the restore, writes that restart
    // the controller are asked about first, and each row shows what the read-back found.
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
            verify(dialog !== null)
            fakeRestore.opened()
            tryCompare(dialog, "opened", true)
            return dialog
        }

        function test_rowsTicksAndWrite() {
            var dialog = openDialog()
            // A file's value outside its range: red, with the range, and its row cannot be ticked.
            var outside = findChild(rowPart(dialog, "rowFile_gimbal.rollMaxTorque"), "rangeNote")
            verify(outside.visible)
            compare(outside.text, "outside 1..30000")
            verify(!rowPart(dialog, "rowCheck_gimbal.rollMaxTorque").enabled)
            verify(!findChild(rowPart(dialog, "rowDevice_gimbal.rollMaxTorque"), "rangeNote").visible)
            var write = findChild(dialog.contentItem, "paramDiffWrite")
            compare(write.text, "Write selected (2)")

            // Named as the panel names the field, with the file's key beside it.
            compare(rowPart(dialog, "rowLabel_gimbal.pitchMaxTorque").text, "Pitch Torque")
            compare(rowPart(dialog, "rowKey_gimbal.pitchMaxTorque").text, "gimbal.pitchMaxTorque")

            mouseClick(rowPart(dialog, "rowCheck_gimbal.pitchMaxTorque"))
            compare(fakeRestore.get(1).checked, false)
            compare(write.text, "Write selected (1)")

            mouseClick(write)
            compare(fakeRestore.writes, 1)
        }

        function test_restartingWritesAreConfirmedFirst() {
            fakeRestore.selectionRestartsController = true
            var dialog = openDialog()
            mouseClick(findChild(dialog.contentItem, "paramDiffWrite"))
            compare(fakeRestore.writes, 0)
            var confirm = findChild(dialog, "confirmDialog")
            tryCompare(confirm, "opened", true)
            mouseClick(findChild(confirm.contentItem, "confirmAccept"))
            compare(fakeRestore.writes, 1)
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
}
