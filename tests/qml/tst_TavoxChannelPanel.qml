import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 440
    height: 560

    Component {
        id: panelComponent
        TavoxChannelPanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "TavoxChannelPanel"
        when: windowShown

        function init() {
            appBridge.reset()
        }

        function createPanel() {
            var panel = createTemporaryObject(panelComponent, scene)
            verify(panel !== null)
            // Mouse tests need the tab row and the pages laid out.
            waitForRendering(panel)
            return panel
        }

        function part(panel, name) {
            var item = findChild(panel, name)
            verify(item !== null, "no item " + name)
            return item
        }

        function choose(panel, indexes) {
            for (var name in indexes)
                part(panel, name).currentIndex = indexes[name]
        }

        function showPage(panel, tabName, pageIndex) {
            mouseClick(part(panel, tabName))
            compare(part(panel, "channelStack").currentIndex, pageIndex)
        }

        function test_compareVersion_data() {
            return [
                { tag: "later build", a: "1.0.0.60", b: "1.0.0.59", expected: 1 },
                { tag: "later minor", a: "1.0.1", b: "1.0.0.59", expected: 1 },
                { tag: "same", a: "1.0.0.59", b: "1.0.0.59", expected: 0 },
                { tag: "empty", a: "", b: "1.0.0.59", expected: -1 },
                { tag: "absent", a: undefined, b: "1.0.0.59", expected: -1 },
                { tag: "shorter", a: "1.0.0", b: "1.0.0.59", expected: -1 },
                { tag: "extra part", a: "1.0.0.59.1", b: "1.0.0.59", expected: 1 },
                { tag: "trailing zero", a: "1.0.0.59.0", b: "1.0.0.59", expected: 0 },
                { tag: "no version yet", a: "-", b: "1.0.0.59", expected: -1 },
                { tag: "numeric, not textual", a: "1.0.0.100", b: "1.0.0.59", expected: 1 }
            ]
        }

        function test_compareVersion(data) {
            var panel = createPanel()
            compare(panel.compareVersion(data.a, data.b), data.expected)
            compare(panel.compareVersion(data.b, data.a), data.expected === 0 ? 0 : -data.expected)
        }

        function test_crsfTabFollowsFirmware_data() {
            return [
                { tag: "1.0.0.60", version: "1.0.0.60", crsf: true },
                { tag: "1.0.1", version: "1.0.1", crsf: true },
                { tag: "1.0.0.59", version: "1.0.0.59", crsf: false },
                { tag: "empty", version: "", crsf: false },
                { tag: "1.0.0", version: "1.0.0", crsf: false }
            ]
        }

        function test_crsfTabFollowsFirmware(data) {
            var panel = createPanel()
            appBridge.tavoxFirmwareVersion = data.version
            var tabs = part(panel, "channelTabs")
            var share = tabs.width / (data.crsf ? 3 : 2)
            compare(panel.crsfSupported, data.crsf)
            compare(part(panel, "crsfTab").visible, data.crsf)
            fuzzyCompare(part(panel, "sbusTab").width, share, 0.01)
            fuzzyCompare(part(panel, "pwmTab").width, share, 0.01)
        }

        function test_losingCrsfWhileShown_data() {
            return [
                { tag: "on the CRSF page", tab: "crsfTab", page: 2, after: 0 },
                { tag: "on another page", tab: "pwmTab", page: 1, after: 1 }
            ]
        }

        function test_losingCrsfWhileShown(data) {
            appBridge.tavoxFirmwareVersion = "1.0.0.60"
            var panel = createPanel()
            showPage(panel, data.tab, data.page)
            appBridge.tavoxFirmwareVersion = "1.0.0.59"
            compare(part(panel, "channelTabs").currentIndex, data.after)
            compare(part(panel, "channelStack").currentIndex, data.after)
        }

        function test_tabRowDoesNotFlick() {
            var list = part(createPanel(), "channelTabs").contentItem
            compare(list.interactive, false)
            compare(list.highlightFollowsCurrentItem, false)
            compare(list.boundsBehavior, Flickable.StopAtBounds)
        }

        function test_channelNumberToIndex_data() {
            return [
                { tag: "none", ch: 0, index: 0, text: "NONE" },
                { tag: "first", ch: 1, index: 1, text: "CH1" },
                { tag: "last", ch: 16, index: 16, text: "CH16" },
                { tag: "above 16", ch: 17, index: 16, text: "CH16" },
                { tag: "byte maximum", ch: 255, index: 16, text: "CH16" }
            ]
        }

        function test_channelNumberToIndex(data) {
            var panel = createPanel()
            compare(panel.chIndex(data.ch), data.index)
            appBridge.tavoxSbusLockCh = data.ch
            compare(part(panel, "sbusLock").currentIndex, data.index)
            compare(part(panel, "sbusLock").displayText, data.text)
            compare(panel.chFromIndex(data.index), Math.min(data.ch, 16))
        }

        function test_pwmChannelAboveThreeShowsNothing() {
            var panel = createPanel()
            appBridge.tavoxPwmYawCh = 5
            var combo = part(panel, "pwmYaw")
            compare(combo.currentIndex, 5)
            compare(combo.displayText, "")
            compare(combo.contentItem.text, "")
        }

        // Every combo on every page, with the bridge property it reloads from
        // and a value that differs from the bridge's defaults.
        function reloadTable() {
            return [
                { combo: "sbusPitch", property: "tavoxSbusPitchCh", value: 3, index: 3 },
                { combo: "sbusRoll", property: "tavoxSbusRollCh", value: 4, index: 4 },
                { combo: "sbusYaw", property: "tavoxSbusYawCh", value: 20, index: 16 },
                { combo: "sbusCenter", property: "tavoxSbusCenterCh", value: 0, index: 0 },
                { combo: "sbusLock", property: "tavoxSbusLockCh", value: 7, index: 7 },
                { combo: "sbusMode", property: "tavoxSbusMode", value: 0, index: 0 },
                { combo: "sbusPitchDir", property: "tavoxSbusPitchDir", value: 1, index: 1 },
                { combo: "sbusRollDir", property: "tavoxSbusRollDir", value: 1, index: 1 },
                { combo: "sbusYawDir", property: "tavoxSbusYawDir", value: 1, index: 1 },
                { combo: "pwmPitch", property: "tavoxPwmPitchCh", value: 2, index: 2 },
                { combo: "pwmYaw", property: "tavoxPwmYawCh", value: 3, index: 3 },
                { combo: "pwmCenter", property: "tavoxPwmCenterCh", value: 0, index: 0 },
                { combo: "pwmCenter2ndFcn", property: "tavoxPwmLockCh", value: 0, index: 0 },
                { combo: "pwmMode", property: "tavoxPwmMode", value: 0, index: 0 },
                { combo: "pwmPitchDir", property: "tavoxPwmPitchDir", value: 1, index: 1 },
                { combo: "pwmYawDir", property: "tavoxPwmYawDir", value: 1, index: 1 },
                { combo: "crsfPitch", property: "tavoxCrsfPitchCh", value: 9, index: 9 },
                { combo: "crsfRoll", property: "tavoxCrsfRollCh", value: 10, index: 10 },
                { combo: "crsfYaw", property: "tavoxCrsfYawCh", value: 11, index: 11 },
                { combo: "crsfCenter", property: "tavoxCrsfCenterCh", value: 12, index: 12 },
                { combo: "crsfLock", property: "tavoxCrsfLockCh", value: 0, index: 0 },
                { combo: "crsfMode", property: "tavoxCrsfMode", value: 0, index: 0 },
                { combo: "crsfPitchDir", property: "tavoxCrsfPitchDir", value: 1, index: 1 },
                { combo: "crsfRollDir", property: "tavoxCrsfRollDir", value: 1, index: 1 },
                { combo: "crsfYawDir", property: "tavoxCrsfYawDir", value: 1, index: 1 }
            ]
        }

        function test_everyComboShowsTheBridgeAfterAParameterSet() {
            var panel = createPanel()
            var rows = reloadTable()
            // The user's own choices come first and must all be overwritten.
            for (var i = 0; i < rows.length; ++i)
                part(panel, rows[i].combo).currentIndex = 2
            for (i = 0; i < rows.length; ++i)
                appBridge[rows[i].property] = rows[i].value
            appBridge.emitSignal("tavoxParamsChanged")
            for (i = 0; i < rows.length; ++i)
                compare(part(panel, rows[i].combo).currentIndex, rows[i].index, rows[i].combo)
        }

        function test_directionsWaitForTheFirstParameterSet() {
            appBridge.tavoxSbusPitchDir = 1
            appBridge.tavoxPwmYawDir = 1
            appBridge.tavoxCrsfRollDir = 1
            var panel = createPanel()
            compare(part(panel, "sbusPitchDir").currentIndex, 0)
            compare(part(panel, "pwmYawDir").currentIndex, 0)
            compare(part(panel, "crsfRollDir").currentIndex, 0)
            appBridge.emitSignal("tavoxParamsChanged")
            compare(part(panel, "sbusPitchDir").currentIndex, 1)
            compare(part(panel, "pwmYawDir").currentIndex, 1)
            compare(part(panel, "crsfRollDir").currentIndex, 1)
        }

        function test_initialIndexesComeFromTheBridge() {
            appBridge.tavoxSbusRollCh = 6
            appBridge.tavoxPwmMode = 0
            appBridge.tavoxPwmLockCh = 0
            appBridge.tavoxCrsfYawCh = 0
            var panel = createPanel()
            compare(part(panel, "sbusRoll").currentText, "CH6")
            compare(part(panel, "pwmMode").currentText, "速度模式")
            compare(part(panel, "pwmCenter2ndFcn").currentText, "FPV模式")
            compare(part(panel, "crsfYaw").currentText, "NONE")
            compare(part(panel, "sbusMode").currentText, "角度模式")
        }

        function test_languageSwitchKeepsChoices() {
            var panel = createPanel()
            var mode = part(panel, "sbusMode")
            var dir = part(panel, "pwmYawDir")
            var center2nd = part(panel, "pwmCenter2ndFcn")
            mode.currentIndex = 0
            dir.currentIndex = 1
            compare(center2nd.currentIndex, 1)
            appBridge.language = "en"
            compare(mode.currentIndex, 0)
            compare(mode.currentText, "Speed")
            compare(dir.currentIndex, 1)
            compare(dir.currentText, "Normal")
            compare(center2nd.currentIndex, 1)
            compare(center2nd.currentText, "Lock")
            compare(part(panel, "sbusTab").text, "SBUS Channels")
            appBridge.language = "zh"
            compare(mode.currentText, "速度模式")
            compare(dir.currentText, "正向")
        }

        function test_writeSbus() {
            var panel = createPanel()
            choose(panel, { sbusPitch: 3, sbusRoll: 0, sbusYaw: 16, sbusCenter: 5, sbusLock: 6, sbusMode: 0,
                            sbusPitchDir: 1, sbusRollDir: 0, sbusYawDir: 1 })
            mouseClick(part(panel, "sbusWrite"))
            compare(appBridge.callNames(), ["tavoxWriteSbusChannelsWithDir"])
            compare(appBridge.lastArgs("tavoxWriteSbusChannelsWithDir"), [3, 0, 16, 5, 6, 0, 1, 0, 1])
        }

        function test_writePwm() {
            var panel = createPanel()
            showPage(panel, "pwmTab", 1)
            choose(panel, { pwmPitch: 2, pwmYaw: 0, pwmCenter: 3, pwmCenter2ndFcn: 0, pwmMode: 1,
                            pwmPitchDir: 1, pwmYawDir: 0 })
            mouseClick(part(panel, "pwmWrite"))
            compare(appBridge.callNames(), ["tavoxWritePwmChannelsWithDir"])
            compare(appBridge.lastArgs("tavoxWritePwmChannelsWithDir"), [2, 0, 3, 0, 1, 1, 0])
        }

        function test_writeCrsf() {
            appBridge.tavoxFirmwareVersion = "1.0.0.61"
            var panel = createPanel()
            showPage(panel, "crsfTab", 2)
            choose(panel, { crsfPitch: 1, crsfRoll: 2, crsfYaw: 3, crsfCenter: 0, crsfLock: 16, crsfMode: 1,
                            crsfPitchDir: 0, crsfRollDir: 1, crsfYawDir: 1 })
            mouseClick(part(panel, "crsfWrite"))
            compare(appBridge.callNames(), ["tavoxWriteCrsfChannelsWithDir"])
            compare(appBridge.lastArgs("tavoxWriteCrsfChannelsWithDir"), [1, 2, 3, 0, 16, 1, 0, 1, 1])
        }

        function test_readOnEveryPage_data() {
            return [
                { tag: "SBUS", tab: "sbusTab", page: 0, button: "sbusRead" },
                { tag: "PWM", tab: "pwmTab", page: 1, button: "pwmRead" },
                { tag: "CRSF", tab: "crsfTab", page: 2, button: "crsfRead" }
            ]
        }

        function test_readOnEveryPage(data) {
            appBridge.tavoxFirmwareVersion = "1.0.1"
            var panel = createPanel()
            showPage(panel, data.tab, data.page)
            mouseClick(part(panel, data.button))
            compare(appBridge.callNames(), ["tavoxReadParams"])
        }

        function test_liveValues() {
            var panel = createPanel()
            appBridge.hbSbusPitchValue = 1500
            appBridge.hbPwmYawValue = -20
            appBridge.hbCrsfLockValue = 992
            compare(part(panel, "sbusPitchValue").value, "--")
            compare(part(panel, "pwmYawValue").value, "--")
            appBridge.hbReceived = true
            compare(part(panel, "sbusPitchValue").value, "1500")
            compare(part(panel, "sbusRollValue").value, "0")
            compare(part(panel, "pwmYawValue").value, "-20")
            // CRSF values depend on their own presence flag, not on the heartbeat.
            compare(part(panel, "crsfLockValue").value, "--")
            appBridge.hbCrsfValuePresent = true
            compare(part(panel, "crsfLockValue").value, "992")
            compare(part(panel, "crsfPitchValue").value, "0")
            appBridge.hbReceived = false
            compare(part(panel, "sbusPitchValue").value, "--")
            compare(part(panel, "crsfLockValue").value, "992")
        }
    }
}
