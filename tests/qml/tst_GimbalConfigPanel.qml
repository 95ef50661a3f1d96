import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 420
    height: 420

    Component {
        id: panelComponent
        GimbalConfigPanel {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "GimbalConfigPanel"
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

        function stepUp(spin) {
            mouseClick(spin, spin.width - 3, spin.height / 4)
        }

        function typeInto(spin, digits) {
            mouseClick(spin, spin.width / 3, spin.height / 2)
            keyClick(Qt.Key_End)
            for (var i = 0; i < digits.length; ++i)
                keyClick(digits[i])
        }

        function setBridge(fpv, pitch, roll, yaw) {
            appBridge.tavoxFpvMode = fpv
            appBridge.tavoxPitchMaxSpeed = pitch
            appBridge.tavoxRollMaxSpeed = roll
            appBridge.tavoxYawMaxSpeed = yaw
        }

        function test_writeSendsTheShownValues() {
            setBridge(2, 10, 20, 30)
            var panel = createPanel()
            compare(part(panel, "fpvCombo").currentText, "YAW+ROLL+PITCH")
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.callNames(), ["tavoxWriteGimbalConfig"])
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [2, 10, 20, 30])
        }

        function test_read() {
            mouseClick(part(createPanel(), "readButton"))
            compare(appBridge.callNames(), ["tavoxReadParams"])
        }

        function test_inputsFollowTheBridgeAfterUserEdits() {
            var panel = createPanel()
            var pitch = part(panel, "pitchSpin")
            var yaw = part(panel, "yawSpin")
            stepUp(pitch)
            stepUp(yaw)
            compare(pitch.value, 1)
            part(panel, "fpvCombo").currentIndex = 5
            setBridge(7, 40, 50, 60)
            compare(part(panel, "fpvCombo").currentIndex, 7)
            compare(part(panel, "fpvCombo").currentText, "三轴锁定（全姿态）")
            compare(pitch.value, 40)
            compare(yaw.value, 60)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [7, 40, 50, 60])
        }

        function test_typedSpeedSnapsTo255() {
            var panel = createPanel()
            typeInto(part(panel, "rollSpin"), "999")
            compare(part(panel, "rollSpin").value, 255)
            mouseClick(part(panel, "writeButton"))
            compare(appBridge.lastArgs("tavoxWriteGimbalConfig"), [0, 0, 255, 0])
        }

        function test_unknownFpvModeShowsNothing() {
            appBridge.tavoxFpvMode = 8
            var combo = part(createPanel(), "fpvCombo")
            compare(combo.currentIndex, 8)
            compare(combo.contentItem.text, "")
        }
    }
}
