import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 260
    height: 960

    TavoxTestCase {
        name: "SidebarPanel"
        subject: Component { SidebarPanel { width: 220; height: 936 } }

        readonly property var colours: ({ g: "#67c23a", o: "#e6a23c", r: "#f56c6c", x: "#909399" })

        // Every test starts with one port, chosen.
        function init() {
            appBridge.reset()
            appBridge.serialPorts = ["/dev/ttyUSB0"]
            portCatalog.choose("/dev/ttyUSB0")
        }

        // typed: a path typed (or pasted) into the port box, which opens as it is.
        function test_serialSwitch_data() {
            return [
                { tag: "opens the chosen port and rate", ports: ["/dev/ttyUSB0", "/dev/pts/7"], port: 1, baud: 1,
                  calls: ["openSerial"], opened: ["/dev/pts/7", 115200] },
                { tag: "a typed path", ports: ["/dev/ttyUSB0"], typed: "/tmp/bench/gimbal", baud: 0, calls: ["openSerial"],
                  opened: ["/tmp/bench/gimbal", 921600] },
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
            if (data.typed) {
                ports.contentItem.forceActiveFocus()
                ports.contentItem.selectAll()
                pressKeys(data.typed)
                keyClick(Qt.Key_Return)
            } else {
                ports.currentIndex = data.port
            }
            part(sidebar, "serialBaudCombo").currentIndex = data.baud
            serialSwitch.flip()
            compare(appBridge.callNames(), data.calls)
            compare(serialSwitch.checked, data.opened !== undefined)
            if (!data.opened)
                return
            compare(appBridge.lastArgs("openSerial"), data.opened)
            compare(portCatalog.lastPort, data.opened[0], "remembered for the next start")
            portCatalog.remember("/dev/pts/0", 921600)
            // the switch follows the bridge, and following it calls nothing
            appBridge.serialOpened = true
            appBridge.serialOpened = false
            verify(!serialSwitch.checked)
            verify(ports.enabled)
            appBridge.serialOpened = true
            verify(serialSwitch.checked)
            mouseClick(serialSwitch)
            compare(appBridge.callNames(), ["openSerial", "closeSerial"])
        }

        // Ports come and go by themselves; the one chosen stays chosen, marked
        // when it is not there; picking another chooses it.
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

        // A long name cut short in the combo is whole in its tooltip, which
        // asks the system for the port's details only when hovered.
        function test_portHintHasTheWholeName() {
            var longName = "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"
            appBridge.serialPorts = [longName]
            portCatalog.choose(longName)
            var combo = part(createSubject(), "serialPortCombo")
            verify(combo.contentItem.contentWidth > combo.contentItem.width, "cut short")
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

        // The QR codes give way on a short window, so the status and the angles stay in sight unscrolled.
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

        // The link's status as the window words it for the simulator's link fits
        // the sidebar whole in two lines, in either language.
        function test_linkStatusIsWhole_data() {
            return [{ tag: "en connected", text: "Connected to /tmp/tavox-sim — firmware 1.0.0.60" },
                    { tag: "en lost", text: "Link lost: no heartbeat on /tmp/tavox-sim" },
                    { tag: "zh connected", text: "已连接 /tmp/tavox-sim — 固件 1.0.0.60" },
                    { tag: "zh lost", text: "链路中断：/tmp/tavox-sim 上无心跳" }]
        }
        function test_linkStatusIsWhole(data) {
            // In the window's font, whose lines are taller than the default's.
            var sidebar = createSubject({ fontFamily: appFontFamily })
            var status = part(sidebar, "linkStatusText")
            status.text = data.text
            waitForRendering(status)
            verify(status.lineCount <= 2)
            verify(!status.truncated)
        }

        // A status cut short by a narrow sidebar has its whole text on hover.
        function test_longLinkStatusHasATooltip() {
            var sidebar = createSubject({ width: 140 })
            var status = part(sidebar, "linkStatusText")
            tryVerify(function() { return status.truncated })
            mouseMove(status, 5, 5)
            tryCompare(status, "wholeTextShown", true)
            mouseMove(sidebar, 5, sidebar.height - 5)
            tryCompare(status, "wholeTextShown", false)
        }

        // The language by a screen reader, the keyboard or the mouse; what the reader says follows it.
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
}
