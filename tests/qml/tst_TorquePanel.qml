import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 420
    height: 400

    Component {
        id: panelComponent
        TorquePanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "TorquePanel"
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

        function focusField(spin) {
            mouseClick(spin, spin.width / 3, spin.height / 2)
        }

        function test_bridgeValueBelowOneIsWrittenUnchanged() {
            var panel = createPanel()
            compare(part(panel, "pitchTorque").value, 0)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxWriteTorque"])
            compare(appBridge.lastArgs("tavoxWriteTorque"), [0, 0, 0])
        }

        function test_finishingAnEditRaisesToOne() {
            var panel = createPanel()
            var roll = part(panel, "rollTorque")
            focusField(roll)
            keyClick(Qt.Key_Return)
            compare(roll.value, 1)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteTorque"), [0, 1, 0])
        }

        function test_typedTorqueSnapsTo30000() {
            appBridge.tavoxYawMaxTorque = 5
            var panel = createPanel()
            var yaw = part(panel, "yawTorque")
            focusField(yaw)
            keyClick(Qt.Key_End)
            keyClick("0")
            keyClick("0")
            keyClick("0")
            keyClick("0")
            compare(yaw.value, 30000)
        }

        function test_inputsFollowTheBridgeAfterUserEdits() {
            var panel = createPanel()
            var pitch = part(panel, "pitchTorque")
            focusField(pitch)
            keyClick(Qt.Key_End)
            keyClick("7")
            keyClick(Qt.Key_Return)
            compare(pitch.value, 7)
            appBridge.tavoxPitchMaxTorque = 1200
            appBridge.tavoxRollMaxTorque = 1300
            appBridge.tavoxYawMaxTorque = 1400
            compare(pitch.value, 1200)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteTorque"), [1200, 1300, 1400])
        }

        function test_read() {
            mouseClick(part(createPanel(), "readButton"))
            compare(appBridge.callNames(), ["tavoxReadParams"])
        }
    }
}
