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

        function test_editsAreKeptMarkedAndDiscardedOnlyWhenAsked() {
            setBridge({ tavoxFpvMode: 2, tavoxPitchMaxSpeed: 10, tavoxRollMaxSpeed: 20, tavoxYawMaxSpeed: 30 })
            var panel = createSubject()
            mouseClick(part(panel, "readButton"))
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteGimbalConfig"])
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [2, 10, 20, 30])
            verify(!part(panel, "editCount").visible)

            mouseClick(part(part(panel, "pitchSpin"), "spinUp"))
            typeInto(part(panel, "rollSpin"), "255")
            keyClick(Qt.Key_Tab)
            var fpv = part(panel, "fpvCombo")
            fpv.currentIndex = 5
            fpv.activated(5)
            compare(part(panel, "editCount").text, "3 项未写入")
            verify(part(panel, "pitchSpin").edited)
            compare(part(panel, "pitchSpin").hint, "控制器的值: 10 (0–255)")
            verify(!part(panel, "yawSpin").edited)

            // another panel's write or a read: unedited fields follow, edits stay
            setBridge({ tavoxFpvMode: 7, tavoxPitchMaxSpeed: 40, tavoxRollMaxSpeed: 50, tavoxYawMaxSpeed: 60 })
            linkMonitor.parametersArrived()
            compare(part(panel, "pitchSpin").value, 11)
            compare(part(panel, "yawSpin").value, 60)

            // a read asks first; Escape keeps the edits
            mouseClick(part(panel, "readButton"))
            var dialog = part(panel, "confirmDialog")
            verify(dialog.opened)
            compare(dialog.title, "放弃 3 项未写入的修改？")
            keyClick(Qt.Key_Escape)
            verify(!dialog.visible)
            compare(appBridge.callNames().length, 2)
            compare(part(panel, "pitchSpin").value, 11)

            // written: marked as waiting for the read-back, which a read brings without asking
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [5, 11, 255, 60])
            verify(!part(panel, "editCount").visible)
            compare(part(panel, "unconfirmedCount").text, "3 项待读取确认")
            verify(part(panel, "pitchSpin").unconfirmed)
            compare(part(panel, "pitchSpin").hint, "已写入，等待读取确认")
            mouseClick(part(panel, "readButton"))
            verify(!dialog.visible)
            compare(appBridge.callNames(), ["tavoxReadParams", "tavoxWriteGimbalConfig", "tavoxWriteGimbalConfig",
                                            "tavoxReadParams"])
            setBridge({ tavoxFpvMode: 5, tavoxPitchMaxSpeed: 11, tavoxRollMaxSpeed: 255 })
            verify(part(panel, "pitchSpin").unconfirmed, "the bridge's values alone confirm nothing")
            linkMonitor.parametersArrived()
            tryCompare(part(panel, "unconfirmedCount"), "visible", false)
            verify(!part(panel, "pitchSpin").unconfirmed && !part(panel, "pitchSpin").edited)

            // a discarded edit goes back to the controller's value
            mouseClick(part(part(panel, "pitchSpin"), "spinUp"))
            mouseClick(part(panel, "readButton"))
            compare(dialog.title, "放弃 1 项未写入的修改？")
            confirmByKeys()
            compare(appBridge.callNames()[4], "tavoxReadParams")
            compare(part(panel, "pitchSpin").value, 11)
            verify(!part(panel, "editCount").visible)
        }

        function test_restoredFieldsAreEditedNoLonger() {
            setBridge({ tavoxFpvMode: 2, tavoxPitchMaxSpeed: 10, tavoxRollMaxSpeed: 20, tavoxYawMaxSpeed: 30 })
            var panel = createSubject()
            typeInto(part(panel, "pitchSpin"), "77")
            typeInto(part(panel, "rollSpin"), "78")
            keyClick(Qt.Key_Tab)
            compare(part(panel, "editCount").text, "2 项未写入")

            // The restore put the pitch speed back, and the torque panel's pitch, which is not this panel's.
            setBridge({ tavoxPitchMaxSpeed: 12 })
            paramRestore.restored(["gimbal.pitchMaxSpeed", "gimbal.rollMaxTorque"])
            verify(!part(panel, "pitchSpin").edited)
            compare(part(panel, "pitchSpin").value, 12)
            verify(part(panel, "rollSpin").edited)
            compare(part(panel, "rollSpin").value, 78)
            compare(part(panel, "editCount").text, "1 项未写入")
        }

        function test_fpvModesAreNamedInTheLanguageShown() {
            var panel = createSubject()
            compare(panel.fpvLabels[7], "三轴锁定（全姿态）")
            appBridge.language = "en"
            compare(panel.fpvLabels[7], "3-AXIS LOCK")
            for (var i = 0; i < panel.fpvLabels.length; ++i)
                verify(/^[\x20-\x7e]+$/.test(panel.fpvLabels[i]), panel.fpvLabels[i])
            compare(part(panel, "fpvCombo").model, panel.fpvLabels)
        }

        function test_hintsNameTheControllersValueAsTheFieldShowsIt() {
            setBridge({ tavoxFpvMode: 2, tavoxPitchMaxSpeed: 10 })
            var panel = createSubject()
            var fpv = part(panel, "fpvCombo")
            fpv.currentIndex = 5
            fpv.activated(5)
            compare(fpv.hint, "控制器的值: YAW+ROLL+PITCH")
            mouseClick(part(part(panel, "pitchSpin"), "spinUp"))
            compare(part(panel, "pitchSpin").hint, "控制器的值: 10 (0–255)")
            appBridge.language = "en"
            compare(part(panel, "pitchSpin").hint, "Controller's value: 10 (0–255)")
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
            verify(part(roll, "rangeNote").visible)
            compare(part(roll, "rangeNote").text, "超出 1..30000")
            verify(!part(panel, "writeButton").enabled)
            appBridge.tavoxRollMaxTorque = 10000
            mouseClick(part(panel, "writeButton"))
            var dialog = part(panel, "confirmDialog")
            verify(dialog.opened, "a write that reboots asks first")
            keyClick(Qt.Key_Escape)
            compare(appBridge.callNames(), [])

            mouseClick(part(panel, "writeButton"))
            confirmByKeys()
            compare(appBridge.callNames(), ["tavoxWriteTorque"])
            compare(appBridge.lastArgs("tavoxWriteTorque"), [8000, 10000, 12000], "the controller's values go out unchanged")
            // a number above the range is shown as an error and holds the write back
            typeInto(part(panel, "yawTorque"), "45000")
            keyClick(Qt.Key_Tab)
            verify(part(panel, "yawTorque").invalid)
            verify(!part(panel, "writeButton").enabled)
            mouseClick(part(panel, "writeButton"))
            verify(!dialog.opened)
            compare(appBridge.callNames(), ["tavoxWriteTorque"])
            typeInto(part(panel, "yawTorque"), "30000")
            keyClick(Qt.Key_Tab)
            verify(part(panel, "writeButton").enabled)
            mouseClick(part(panel, "writeButton"))
            mouseClick(part(dialog, "confirmAccept"))
            compare(appBridge.lastArgs("tavoxWriteTorque"), [8000, 10000, 30000])

            verify(part(panel, "yawTorque").unconfirmed)
            // the read-back shows other values: the controller did not take them
            setBridge({ tavoxRollMaxTorque: 1300, tavoxYawMaxTorque: 1400 })
            compare(part(panel, "yawTorque").value, 30000, "a written value is not overwritten before its read-back")
            linkMonitor.parametersArrived()
            tryCompare(part(panel, "yawTorque"), "edited", true)
            compare(part(panel, "yawTorque").value, 30000)
            compare(part(panel, "yawTorque").hint, "控制器的值: 1400 (1–30000)")
            mouseClick(part(panel, "revertButton"))
            mouseClick(part(panel, "writeButton"))
            confirmByKeys()
            compare(appBridge.lastArgs("tavoxWriteTorque"), [8000, 1300, 1400])
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
            verify(!revert.visible)
            compare(part(panel, "yawTorque").value, 12000, "reverted")
            var firstField = part(part(panel, "pitchTorque"), "spinField")
            verify(firstField.activeFocus)
            verify(findChild(part(panel, "pitchTorque"), "focusRing").visible, "with its ring")
        }

        // An open question follows a change of language.
        function test_openQuestionIsRetranslated() {
            var panel = createSubject()
            mouseClick(part(panel, "writeButton"))
            var dialog = part(panel, "confirmDialog")
            verify(dialog.opened)
            compare(dialog.title, "写入并重启控制器？")
            appBridge.language = "en"
            compare(dialog.title, "Write and restart the controller?")
            compare(dialog.text, "Writing the torques restarts the controller; its motors stop for a moment.")
            compare(part(dialog, "confirmAccept").text, "Write and restart")
            keyClick(Qt.Key_Escape)
            compare(appBridge.callNames(), [])
        }
    }

    TavoxTestCase {
        name: "TavoxCameraPanel"
        subject: Component { TavoxCameraPanel { width: 420; height: 300 } }

        function test_writeSendsTheChoiceWhichStaysUntilTheControllerHasIt() {
            var panel = createSubject()
            var combo = part(panel, "cameraCombo")
            compare(combo.contentItem.text, "相机上置")
            combo.currentIndex = 0
            combo.activated(0)
            verify(combo.edited)
            compare(combo.hint, "控制器的值: 相机上置")
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxWriteCameraPosition"])
            compare(appBridge.lastArgs("tavoxWriteCameraPosition"), [0])
            verify(combo.unconfirmed && !combo.edited)
            appBridge.tavoxParamsChanged()
            compare(combo.currentIndex, 0)
            appBridge.tavoxCameraPosition = 0
            appBridge.tavoxParamsChanged()
            verify(combo.unconfirmed, "until a parameter block confirms it")
            linkMonitor.parametersArrived()
            tryCompare(combo, "unconfirmed", false)
            verify(!combo.edited)
            compare(combo.currentIndex, 0)
        }
    }

    TavoxTestCase {
        name: "UpgradePanel"
        subject: Component { UpgradePanel { width: 420; height: 320 } }

        function test_buttons_data() {
            var path = upgradeRig.writeImage(16)
            return [
                { tag: "no file", path: "", upgrading: false, calls: ["tavoxSelectUpgradeFile", "tavoxQueryVersion"] },
                { tag: "file chosen", path: path, upgrading: false, start: [path],
                  calls: ["tavoxSelectUpgradeFile", "tavoxStartUpgrade", "tavoxQueryVersion"] }
            ]
        }

        function test_buttons(data) {
            setBridge({ tavoxUpgradeFilePath: data.path, tavoxUpgrading: data.upgrading })
            var panel = createSubject()
            compare(part(panel, "filePathField").text, data.path)
            mouseClick(part(panel, "browseButton"))
            mouseClick(part(panel, "startButton"))
            var dialog = part(panel, "confirmDialog")
            compare(dialog.opened, data.path !== "", "the upgrade is confirmed first")
            if (dialog.opened) {
                // the version the attached controller reported on this link, not the bridge double's stale "-"
                tryVerify(function() { return dialog.text.indexOf("当前固件版本: 1.0.0.60") >= 0 }, 5000, dialog.text)
                confirmByKeys()
            }
            mouseClick(part(panel, "queryButton"))
            compare(appBridge.callNames(), data.calls)
            compare(appBridge.lastArgs("tavoxStartUpgrade"), data.start)
        }

        // No parameters read from the attached controller since the port was
        // opened: whether to go on without a snapshot is asked first.
        function test_withoutSnapshot_data() {
            var confirmation = [Qt.Key_Tab, Qt.Key_Return]
            return [
                { tag: "Escape keeps the controller as it is", keys: [[Qt.Key_Escape]], confirmation: false },
                { tag: "confirmed, then confirmed starts", keys: [confirmation, confirmation], confirmation: true,
                  starts: true },
                { tag: "confirmed, then Escape at the confirmation", keys: [confirmation, [Qt.Key_Escape]],
                  confirmation: true }
            ]
        }

        function test_withoutSnapshot(data) {
            var path = upgradeRig.writeImage(16)
            setBridge({ tavoxUpgradeFilePath: path })
            var panel = createSubject({ keepsSnapshot: false })
            var question = part(panel, "snapshotQuestion")
            var confirmation = part(panel, "confirmDialog")
            mouseClick(part(panel, "startButton"))
            verify(question.opened)
            verify(!confirmation.opened)
            compare(question.title, "不保存参数快照就升级？")
            compare(question.confirmText, "不保存快照继续")
            appBridge.language = "en"
            compare(question.title, "Upgrade without a parameter snapshot?")

            pressKeys(data.keys[0])
            tryCompare(question, "opened", false)
            compare(confirmation.opened, data.confirmation)
            if (data.keys.length > 1)
                pressKeys(data.keys[1])
            tryCompare(confirmation, "opened", false)
            compare(appBridge.lastArgs("tavoxStartUpgrade"), data.starts ? [path] : undefined)
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
        QtObject {
            id: closedLink
            property bool portOpen: false
            property bool linkLost: false
            property real sinceHeartbeatMs: -1
            property real framesPerSecond: 0
            property real bytesPerSecond: 0
            property int crcFailures: 0
            property int headerSumFailures: 0
            property int resyncBytes: 0
        }

        function test_statusTakesNoPlace_data() {
            return [
                { tag: "unsaved and Revert", subject: torquePanel, watched: "pitchTorque",
                  change: function(item) { typeInto(part(item, "yawTorque"), "1234"); keyClick(Qt.Key_Tab) } },
                { tag: "unsaved under the channel tabs", subject: channelPanel, watched: "sbusPitch",
                  change: function(item) { part(item, "sbusPitch").currentIndex = 5; part(item, "sbusPitch").activated(5) } },
                { tag: "Port absent", subject: sidebar, watched: "serialBaudCombo",
                  change: function(item) { part(item, "serialPortCombo").editText = "/dev/ttyGone" } },
                { tag: "port closed", subject: serviceBar, watched: "backupButton",
                  change: function(item) { part(item, "linkHealthView").health = closedLink } }
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
            verify(view.atYEnd || view.contentHeight <= view.height, "the newest entry is in view")
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
            compare(part(panel, "expandButton").text, "收起")
            mouseClick(part(panel, "clearButton"))
            compare(messageJournal.count, 0)
            compare(part(panel, "messageLogArea").count, 0)
        }
    }
}
