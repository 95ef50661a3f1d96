import QtQuick 2.12
import QtTest 1.12
import "../../qml/controls"
import "../../qml/panels"

Item {
    id: scene
    width: 800
    height: 900

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
}
