import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 420
    height: 320

    Component {
        id: panelComponent
        UpgradePanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "UpgradePanel"
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

        function part(panel, name) {
            var item = findChild(panel, name)
            verify(item !== null, "no item " + name)
            return item
        }

        function test_versionsAreShownAsTheBridgeHoldsThem() {
            var panel = createPanel()
            compare(part(panel, "firmwareVersion").text, "-")
            compare(part(panel, "bootVersion").text, "-")
            appBridge.tavoxFirmwareVersion = "1.0.0.60"
            appBridge.tavoxBootVersion = "2.1"
            compare(part(panel, "firmwareVersion").text, "1.0.0.60")
            compare(part(panel, "bootVersion").text, "2.1")
            appBridge.tavoxFirmwareVersion = "-"
            compare(part(panel, "firmwareVersion").text, "-")
        }

        function test_pathFieldFollowsTheBridge() {
            var panel = createPanel()
            var field = part(panel, "filePathField")
            verify(field.readOnly)
            compare(field.text, "")
            compare(field.placeholderText, "请选择固件文件")
            appBridge.tavoxUpgradeFilePath = "/tmp/fw.bin"
            compare(field.text, "/tmp/fw.bin")
            compare(panel.upgradeFilePath, "/tmp/fw.bin")
        }

        function test_enabledRules_data() {
            return [
                { tag: "idle without file", path: "", upgrading: false, browse: true, start: false, query: true },
                { tag: "idle with file", path: "/tmp/fw.bin", upgrading: false, browse: true, start: true, query: true },
                { tag: "upgrading", path: "/tmp/fw.bin", upgrading: true, browse: false, start: false, query: false },
                { tag: "upgrading without file", path: "", upgrading: true, browse: false, start: false, query: false }
            ]
        }

        function test_enabledRules(data) {
            appBridge.tavoxUpgradeFilePath = data.path
            appBridge.tavoxUpgrading = data.upgrading
            var panel = createPanel()
            compare(part(panel, "browseButton").enabled, data.browse)
            compare(part(panel, "startButton").enabled, data.start)
            compare(part(panel, "queryButton").enabled, data.query)
            compare(String(part(panel, "progressText").color), data.upgrading ? "#409eff" : "#606266")
            // A click on a disabled button reaches nothing.
            mouseClick(part(panel, "browseButton"))
            mouseClick(part(panel, "startButton"))
            mouseClick(part(panel, "queryButton"))
            var expected = []
            if (data.browse)
                expected.push("tavoxSelectUpgradeFile")
            if (data.start)
                expected.push("tavoxStartUpgrade")
            if (data.query)
                expected.push("tavoxQueryVersion")
            compare(appBridge.callNames(), expected)
        }

        function test_startPassesTheBridgePath() {
            appBridge.tavoxUpgradeFilePath = "/home/op/firmware v2.bin"
            var panel = createPanel()
            mouseClick(part(panel, "startButton"))
            compare(appBridge.lastArgs("tavoxStartUpgrade"), ["/home/op/firmware v2.bin"])
        }

        function test_progress() {
            var panel = createPanel()
            var bar = part(panel, "progressBar")
            var fill = part(panel, "progressFill")
            compare(part(panel, "progressText").text, "0%")
            compare(fill.width, 0)
            appBridge.tavoxUpgradeProgress = 100
            compare(part(panel, "progressText").text, "100%")
            compare(bar.value, 100)
            verify(fill.width > 0)
            compare(fill.width, bar.contentItem.width)
            appBridge.tavoxUpgradeProgress = 25
            fuzzyCompare(fill.width, bar.contentItem.width / 4, 0.5)
        }
    }
}
