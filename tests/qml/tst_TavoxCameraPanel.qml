import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 420
    height: 300

    Component {
        id: panelComponent
        TavoxCameraPanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "TavoxCameraPanel"
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

        function test_startsAtTheBridgePosition_data() {
            return [
                { tag: "bottom", position: 0, text: "相机下置" },
                { tag: "top", position: 1, text: "相机上置" }
            ]
        }

        function test_startsAtTheBridgePosition(data) {
            appBridge.tavoxCameraPosition = data.position
            var combo = part(createPanel(), "cameraCombo")
            compare(combo.currentIndex, data.position)
            compare(combo.contentItem.text, data.text)
        }

        function test_writeSendsTheChosenPosition() {
            var panel = createPanel()
            part(panel, "cameraCombo").currentIndex = 0
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxWriteCameraPosition"])
            compare(appBridge.lastArgs("tavoxWriteCameraPosition"), [0])
        }

        function test_read() {
            mouseClick(part(createPanel(), "readButton"))
            compare(appBridge.callNames(), ["tavoxReadParams"])
        }

        function test_parameterSetOverridesTheChoice() {
            var panel = createPanel()
            var combo = part(panel, "cameraCombo")
            combo.currentIndex = 0
            appBridge.emitSignal("tavoxParamsChanged")
            compare(combo.currentIndex, 1)
            appBridge.tavoxCameraPosition = 0
            compare(combo.currentIndex, 0)
        }

        function test_languageSwitchKeepsThePosition() {
            var panel = createPanel()
            var combo = part(panel, "cameraCombo")
            combo.currentIndex = 0
            appBridge.language = "en"
            compare(combo.currentIndex, 0)
            compare(combo.contentItem.text, "Camera Bottom")
            compare(combo.model[1], "Camera Top")
            compare(part(panel, "writeButton").text, "Write")
            appBridge.language = "zh"
            compare(combo.contentItem.text, "相机下置")
        }
    }
}
