import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 440
    height: 560

    TavoxTestCase {
        name: "TavoxChannelPanel"
        subject: Component { TavoxChannelPanel { anchors.fill: parent } }

        function showPage(panel, tab, page) {
            mouseClick(part(panel, tab))
            compare(part(panel, "channelStack").currentIndex, page)
        }

        function test_compareVersion_data() {
            return [
                { tag: "numeric, not textual", a: "1.0.0.100", b: "1.0.0.59", expected: 1 },
                { tag: "trailing zero", a: "1.0.0.59.0", b: "1.0.0.59", expected: 0 },
                { tag: "shorter", a: "1.0.0", b: "1.0.0.59", expected: -1 },
                { tag: "no version yet", a: "-", b: "1.0.0.59", expected: -1 }
            ]
        }

        function test_compareVersion(data) {
            var panel = createSubject()
            compare(panel.compareVersion(data.a, data.b), data.expected)
            compare(panel.compareVersion(data.b, data.a), -data.expected)
        }

        // The CRSF tab exists only above firmware 1.0.0.59; losing it while shown falls back to SBUS.
        function test_crsfTabFollowsFirmware_data() {
            return [
                { tag: "later firmware keeps it", version: "1.0.1", tab: "crsfTab", page: 2, crsf: true, after: 2 },
                { tag: "1.0.0.59 while shown", version: "1.0.0.59", tab: "crsfTab", page: 2, crsf: false, after: 0 },
                { tag: "none while on PWM", version: "", tab: "pwmTab", page: 1, crsf: false, after: 1 }
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

        // A channel the list has no entry for is shown as its number, marked, and holds the page's write back.
        function test_channelNumbers(data) {
            var panel = createSubject()
            appBridge[data.property] = data.ch
            var combo = part(panel, data.combo)
            compare(combo.contentItem.text, data.text)
            compare(combo.outsideRange, data.outside === true)
            compare(part(panel, data.page + "Write").enabled, data.outside !== true)
        }

        // Every receiver combo: its bridge property and its field's name in a parameter file.
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

        // Each combo shows its own value from a parameter set; the operator's own choice stays, marked,
        // through the next.
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

        // A restore that put every field back but one leaves that one's edit alone.
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

        // Each combo of `combos` (in argument order) is set to its value in `args`. The SBUS write, down to
        // its frames, is the window's (tst_windowflows).
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
            // two functions on one channel are marked, and the write asks about them first
            compare(part(panel, "pwmPitchConflict").visible && part(panel, "pwmCenterConflict").visible, !!data.conflict)
            if (data.conflict) {
                compare(part(panel, "confirmDialog").title, "在" + data.conflict + "的情况下写入？")
                confirmByKeys()
            }
            // the write activates and restarts the controller: asked first
            tryVerify(function() { return part(panel, "confirmDialog").opened })
            confirmByKeys()
            compare(appBridge.lastArgs(data.call), data.args)
            verify(other.edited && !other.unconfirmed)
            // a read would drop the other page's edit: asked first
            mouseClick(part(panel, data.prefix + "Read"))
            compare(part(panel, "confirmDialog").title, "放弃 1 项未写入的修改？")
            confirmByKeys()
            compare(appBridge.callNames(), [data.call, "tavoxReadParams"])
        }

        // Live values arrive coalesced, and only the page shown binds to them.
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

        // A choice never moves the columns: every combo keeps its width whatever it shows.
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
            // the single combo of a centre row spans the channel and direction columns
            var directionEnd = direction.mapToItem(panel, direction.width, 0).x
            fuzzyCompare(part(panel, "sbusCenter").width, directionEnd - pitch.mapToItem(panel, 0, 0).x, 1)
        }
    }
}
