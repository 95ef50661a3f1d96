import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 200
    height: 100

    Component {
        id: toggleComponent
        ToggleSwitch {}
    }

    Component {
        id: spyComponent
        SignalSpy { signalName: "toggled" }
    }

    TestCase {
        name: "ToggleSwitch"
        when: windowShown

        function createToggle(properties) {
            var toggle = createTemporaryObject(toggleComponent, scene, properties)
            verify(toggle !== null)
            var spy = createTemporaryObject(spyComponent, scene, { target: toggle })
            return { toggle: toggle, spy: spy }
        }

        function knobX(toggle) { return findChild(toggle, "knob").x }

        function test_sizeFollowsScale() {
            var t = createToggle({ uiScale: 1.5 }).toggle
            compare(t.width, 63)
            compare(t.height, 36)
        }

        function test_clickTogglesAndReportsNewState() {
            var t = createToggle({})
            mouseClick(t.toggle)
            verify(t.toggle.checked)
            compare(t.spy.count, 1)
            compare(t.spy.signalArguments[0][0], true)
            tryCompare(findChild(t.toggle, "knob"), "x", t.toggle.width - findChild(t.toggle, "knob").width - 2)

            mouseClick(t.toggle, 2, 2)
            verify(!t.toggle.checked)
            compare(t.spy.count, 2)
            compare(t.spy.signalArguments[1][0], false)
            tryCompare(findChild(t.toggle, "knob"), "x", 2)
        }

        function test_disabledIgnoresClicks() {
            var t = createToggle({ enabled: false, checked: true })
            mouseClick(t.toggle)
            mouseClick(t.toggle, 1, 1)
            verify(t.toggle.checked)
            compare(t.spy.count, 0)
        }

        function test_reenabledReactsAgain() {
            var t = createToggle({ enabled: false })
            mouseClick(t.toggle)
            t.toggle.enabled = true
            mouseClick(t.toggle)
            verify(t.toggle.checked)
            compare(t.spy.count, 1)
        }

        function test_settingFromOutsideMovesKnobSilently() {
            var t = createToggle({})
            t.toggle.checked = true
            tryCompare(findChild(t.toggle, "knob"), "x", 42 - 20 - 2)
            t.toggle.checked = false
            tryCompare(findChild(t.toggle, "knob"), "x", 2)
            compare(t.spy.count, 0)
        }
    }
}
