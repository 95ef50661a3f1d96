import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 260
    height: 960

    Component {
        id: sidebarComponent
        SidebarPanel {
            width: 220
            height: 936
            fontFamily: "Noto Sans CJK SC"
        }
    }

    TestCase {
        name: "SidebarPanel"
        when: windowShown

        readonly property string green: "#67c23a"
        readonly property string orange: "#e6a23c"
        readonly property string red: "#f56c6c"
        readonly property string grey: "#909399"

        function init() { appBridge.reset() }

        function createSidebar() {
            var sidebar = createTemporaryObject(sidebarComponent, scene)
            verify(sidebar !== null)
            return sidebar
        }

        function child(sidebar, name) {
            var item = findChild(sidebar, name)
            verify(item !== null, "found " + name)
            return item
        }

        // Every text shown anywhere in the sidebar.
        function texts(item, into) {
            into = into || []
            if (item.visible === false)
                return into
            if (typeof item.text === "string" && item.text !== "")
                into.push(item.text)
            for (var i = 0; i < item.children.length; ++i)
                texts(item.children[i], into)
            return into
        }

        function clickSwitch(sidebar) {
            mouseClick(child(sidebar, "serialSwitch"))
            return child(sidebar, "serialSwitch")
        }

        // ---- serial switch

        function test_successfulOpenKeepsSwitchOnAndLocksTheChoice() {
            appBridge.serialPorts = ["/dev/ttyUSB0", "/dev/ttyUSB1"]
            var sidebar = createSidebar()
            var serialSwitch = clickSwitch(sidebar)
            compare(appBridge.callNames(), ["openSerial"])
            compare(appBridge.lastArgs("openSerial"), ["/dev/ttyUSB0", 921600])
            verify(serialSwitch.checked)
            verify(!child(sidebar, "serialPortCombo").enabled)
            verify(!child(sidebar, "serialBaudCombo").enabled)
            verify(!child(sidebar, "refreshButton").enabled)
        }

        function test_opensWithTheChosenPortAndBaudRate() {
            appBridge.serialPorts = ["/dev/ttyUSB0", "/dev/pts/7"]
            var sidebar = createSidebar()
            child(sidebar, "serialPortCombo").currentIndex = 1
            var baud = child(sidebar, "serialBaudCombo")
            mouseClick(baud)
            tryCompare(baud.popup, "opened", true)
            var list = baud.popup.contentItem
            tryVerify(function() { return list.itemAt(10, 34 + 10) !== null })
            mouseClick(list.itemAt(10, 34 + 10))
            tryCompare(baud.popup, "visible", false)
            clickSwitch(sidebar)
            compare(appBridge.lastArgs("openSerial"), ["/dev/pts/7", 115200])
        }

        function test_failedOpenSpringsBack() {
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            appBridge.openSerialResult = false
            var sidebar = createSidebar()
            var serialSwitch = clickSwitch(sidebar)
            compare(appBridge.callNames(), ["openSerial"])
            verify(!serialSwitch.checked)
            verify(child(sidebar, "serialPortCombo").enabled)
        }

        function test_invalidInputRefreshesAndSpringsBack_data() {
            return [
                { tag: "no port listed", ports: [], baudIndex: 0 },
                { tag: "no baud rate chosen", ports: ["/dev/ttyUSB0"], baudIndex: -1 }
            ]
        }

        function test_invalidInputRefreshesAndSpringsBack(data) {
            appBridge.serialPorts = data.ports
            var sidebar = createSidebar()
            child(sidebar, "serialBaudCombo").currentIndex = data.baudIndex
            var serialSwitch = clickSwitch(sidebar)
            compare(appBridge.callNames(), ["refreshSerialPorts"])
            verify(!serialSwitch.checked)
        }

        function test_switchingOffCloses() {
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            var sidebar = createSidebar()
            clickSwitch(sidebar)
            appBridge.clearCalls()
            var serialSwitch = clickSwitch(sidebar)
            compare(appBridge.callNames(), ["closeSerial"])
            verify(!serialSwitch.checked)
            verify(child(sidebar, "serialPortCombo").enabled)
            verify(child(sidebar, "refreshButton").enabled)
        }

        function test_switchFollowsTheBridge() {
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            var sidebar = createSidebar()
            var serialSwitch = child(sidebar, "serialSwitch")
            appBridge.serialOpened = true
            verify(serialSwitch.checked)
            appBridge.serialOpened = false
            verify(!serialSwitch.checked)
            verify(child(sidebar, "serialBaudCombo").enabled)
            compare(appBridge.callNames(), [], "following the bridge calls nothing")
        }

        function test_portLostWhileOpenTurnsSwitchOff() {
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            var sidebar = createSidebar()
            clickSwitch(sidebar)
            appBridge.serialOpened = true
            appBridge.clearCalls()
            appBridge.serialOpened = false
            verify(!child(sidebar, "serialSwitch").checked)
            verify(child(sidebar, "serialPortCombo").enabled)
            compare(appBridge.callCount("closeSerial"), 0)
        }

        // ---- port list

        function test_refreshButtonAsksTheBridge() {
            var sidebar = createSidebar()
            mouseClick(child(sidebar, "refreshButton"))
            compare(appBridge.callNames(), ["refreshSerialPorts"])
        }

        function test_everyNewPortListSelectsItsFirstPort() {
            var sidebar = createSidebar()
            var ports = child(sidebar, "serialPortCombo")
            compare(ports.currentIndex, -1)
            compare(ports.contentItem.text, "")
            appBridge.serialPorts = ["/dev/ttyUSB0", "/dev/ttyUSB1"]
            compare(ports.currentIndex, 0)
            ports.currentIndex = 1
            appBridge.serialPorts = ["/dev/ttyS0", "/dev/ttyS1"]
            compare(ports.currentIndex, 0)
            compare(ports.currentText, "/dev/ttyS0")
            appBridge.serialPorts = []
            compare(ports.currentIndex, -1)
            compare(ports.contentItem.text, "")
        }

        // ---- status and angles

        function test_status_data() {
            var rows = []
            var notAvailable = { zh: "未获得", en: "N/A", color: grey }
            var allUnknown = [notAvailable, notAvailable, notAvailable, notAvailable, notAvailable]
            var good = { atti: true, joint: true, under: false, mems: false }
            var bad = { atti: false, joint: false, under: true, mems: true }
            function row(tag, opened, received, flags, actuator, expected) {
                rows.push({ tag: tag, opened: opened, received: received, flags: flags, actuator: actuator,
                            expected: expected })
            }
            row("closed, heartbeat seen", false, true, good, 0, allUnknown)
            row("open, no heartbeat", true, false, good, 0, allUnknown)
            row("closed, nothing", false, false, bad, 1, allUnknown)
            row("all well", true, true, good, 0, [
                { zh: "就绪", en: "Ready", color: green },
                { zh: "已初始化", en: "Init OK", color: green },
                { zh: "正常", en: "OK", color: green },
                { zh: "正常", en: "OK", color: green },
                { zh: "正常", en: "OK", color: green }])
            row("all wrong, motor stalled", true, true, bad, 1, [
                { zh: "未就绪", en: "Not Ready", color: red },
                { zh: "初始化中", en: "Initing", color: orange },
                { zh: "欠压", en: "Under Volt", color: red },
                { zh: "缺失", en: "Lost", color: red },
                { zh: "堵转", en: "Stall", color: red }])
            var off = { zh: "关闭", en: "Off", color: grey }
            row("motor 2", true, true, good, 2, [
                { zh: "就绪", en: "Ready", color: green },
                { zh: "已初始化", en: "Init OK", color: green },
                { zh: "正常", en: "OK", color: green },
                { zh: "正常", en: "OK", color: green }, off])
            row("motor 255", true, true, bad, 255, [
                { zh: "未就绪", en: "Not Ready", color: red },
                { zh: "初始化中", en: "Initing", color: orange },
                { zh: "欠压", en: "Under Volt", color: red },
                { zh: "缺失", en: "Lost", color: red }, off])
            return rows
        }

        function test_status(data) {
            var sidebar = createSidebar()
            appBridge.serialOpened = data.opened
            appBridge.hbReceived = data.received
            appBridge.hbAttiReady = data.flags.atti
            appBridge.hbJointInitOk = data.flags.joint
            appBridge.hbUnderVolt = data.flags.under
            appBridge.hbMemsLost = data.flags.mems
            appBridge.hbActuator = data.actuator
            var keys = ["attitude", "joint", "voltage", "imu", "motor"]
            var languages = ["zh", "en"]
            for (var l = 0; l < languages.length; ++l) {
                appBridge.language = languages[l]
                for (var i = 0; i < keys.length; ++i) {
                    var expected = data.expected[i]
                    compare(child(sidebar, keys[i] + "Text").text, expected[languages[l]], keys[i])
                    compare(String(child(sidebar, keys[i] + "Dot").color), expected.color, keys[i] + " dot")
                }
            }
        }

        function test_angles_data() {
            return [
                { tag: "live", opened: true, received: true,
                  pitch: -12.34, roll: 0, yaw: 179.99, temp: 36.6,
                  expected: ["-12.34°", "0.00°", "179.99°", "37°C"] },
                { tag: "closed", opened: false, received: true,
                  pitch: 1, roll: 2, yaw: 3, temp: 40, expected: ["--", "--", "--", "--"] },
                { tag: "no heartbeat", opened: true, received: false,
                  pitch: 1, roll: 2, yaw: 3, temp: 40, expected: ["--", "--", "--", "--"] }
            ]
        }

        function test_angles(data) {
            var sidebar = createSidebar()
            appBridge.hbPitch = data.pitch
            appBridge.hbRoll = data.roll
            appBridge.hbYaw = data.yaw
            appBridge.hbImuTemp = data.temp
            appBridge.serialOpened = data.opened
            appBridge.hbReceived = data.received
            compare(child(sidebar, "pitchValue").text, data.expected[0])
            compare(child(sidebar, "rollValue").text, data.expected[1])
            compare(child(sidebar, "yawValue").text, data.expected[2])
            compare(child(sidebar, "tempValue").text, data.expected[3])
        }

        // ---- version and language

        function test_version_data() {
            return [
                { tag: "leading v removed", version: "v1.0.5", zh: "版本号: 1.0.5", en: "Version: 1.0.5" },
                { tag: "no leading v", version: "2.1.0", zh: "版本号: 2.1.0", en: "Version: 2.1.0" },
                { tag: "only one v removed", version: "vv3", zh: "版本号: v3", en: "Version: v3" },
                { tag: "inner v kept", version: "1.0v", zh: "版本号: 1.0v", en: "Version: 1.0v" }
            ]
        }

        function test_version(data) {
            var sidebar = createSidebar()
            appBridge.appVersion = data.version
            compare(child(sidebar, "versionLabel").text, data.zh)
            appBridge.language = "en"
            compare(child(sidebar, "versionLabel").text, data.en)
        }

        function test_languageClicksWriteTheBridge() {
            var sidebar = createSidebar()
            var zh = child(sidebar, "zhChoice")
            var en = child(sidebar, "enChoice")
            compare(String(zh.color), "#409eff")
            verify(zh.font.bold)
            compare(String(en.color), grey)
            verify(!en.font.bold)

            mouseClick(en)
            compare(appBridge.language, "en")
            compare(String(en.color), "#409eff")
            verify(en.font.bold)
            compare(String(zh.color), grey)

            mouseClick(zh)
            compare(appBridge.language, "zh")
            verify(zh.font.bold)
        }

        function test_languageSwitchRelabelsEverythingAtOnce() {
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            var sidebar = createSidebar()
            var chinese = texts(sidebar)
            var expectedChinese = ["端口", "波特率", "串口开关", "云台状态", "姿态", "关节", "电压", "IMU", "电机",
                                   "未获得", "姿态角 (度)", "温度:", "微信公众号", "bilibili", "中文", "EN",
                                   "版本号: 1.0.5"]
            for (var i = 0; i < expectedChinese.length; ++i)
                verify(chinese.indexOf(expectedChinese[i]) >= 0, "shows " + expectedChinese[i])

            mouseClick(child(sidebar, "enChoice"))
            var english = texts(sidebar)
            var expectedEnglish = ["Port", "Baud Rate", "Serial Switch", "Gimbal Status", "Attitude", "Joint",
                                   "Voltage", "IMU", "Motor", "N/A", "Angles (deg)", "Temp:", "WeChat", "bilibili",
                                   "中文", "EN", "Version: 1.0.5", "/dev/ttyUSB0", "921600"]
            for (var j = 0; j < expectedEnglish.length; ++j)
                verify(english.indexOf(expectedEnglish[j]) >= 0, "shows " + expectedEnglish[j])
            var cjk = /[\u3400-\u9fff]/
            for (var k = 0; k < english.length; ++k)
                verify(english[k] === "中文" || !cjk.test(english[k]), "left in Chinese: " + english[k])
        }

        function test_qrImagesLoad() {
            var sidebar = createSidebar()
            var images = []
            function collect(item) {
                if (item.hasOwnProperty("fillMode") && item.hasOwnProperty("sourceSize"))
                    images.push(item)
                for (var i = 0; i < item.children.length; ++i)
                    collect(item.children[i])
            }
            collect(sidebar)
            compare(images.length, 2)
            for (var n = 0; n < images.length; ++n)
                tryCompare(images[n], "status", Image.Ready)
        }
    }
}
