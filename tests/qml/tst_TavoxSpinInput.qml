import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 300
    height: 120

    Component {
        id: spinComponent
        TavoxSpinInput {
            width: 240
            height: 44
        }
    }

    TestCase {
        name: "TavoxSpinInput"
        when: windowShown

        function createSpin(properties) {
            var spin = createTemporaryObject(spinComponent, scene, properties)
            verify(spin !== null, "spin input created")
            return spin
        }

        function field(spin) { return findChild(spin, "spinField") }

        function focusField(spin) {
            var input = field(spin)
            mouseClick(input)
            tryVerify(function() { return input.activeFocus })
            input.selectAll()
            return input
        }

        function test_startsWithValueText() {
            var spin = createSpin({ value: 42, from: 0, to: 255 })
            compare(field(spin).text, "42")
        }

        function test_textFollowsValueChanges() {
            var spin = createSpin({ value: 5 })
            spin.value = 1234
            compare(field(spin).text, "1234")
        }

        function test_lettersNeverStay() {
            var spin = createSpin({ value: 7, from: 0, to: 255 })
            var input = focusField(spin)
            keyClick(Qt.Key_1)
            keyClick(Qt.Key_A)
            keyClick(Qt.Key_2)
            compare(input.text, "12")
        }

        function test_cleansNonDigitsSetFromOutside() {
            var spin = createSpin({ value: 7, from: 0, to: 255 })
            field(spin).text = "1x2-3"
            compare(field(spin).text, "123")
            compare(spin.value, 7, "a number in range is only taken when editing finishes")
        }

        function test_aboveMaximumSnapsAtOnce() {
            var spin = createSpin({ value: 10, from: 0, to: 255 })
            var input = focusField(spin)
            keyClick(Qt.Key_3)
            keyClick(Qt.Key_0)
            compare(spin.value, 10)
            keyClick(Qt.Key_0)
            compare(spin.value, 255)
            compare(input.text, "255")
        }

        function test_editingFinished_data() {
            return [
                { tag: "below from kept while typing, raised on Enter", keys: [Qt.Key_0], from: 1, to: 30000,
                  typed: "0", value: 1, text: "1" },
                { tag: "in range", keys: [Qt.Key_1, Qt.Key_2], from: 1, to: 30000,
                  typed: "12", value: 12, text: "12" },
                { tag: "emptied becomes from", keys: [Qt.Key_Backspace], from: 3, to: 99,
                  typed: "", value: 3, text: "3" },
                { tag: "leading zeros normalised", keys: [Qt.Key_0, Qt.Key_0, Qt.Key_7], from: 0, to: 255,
                  typed: "007", value: 7, text: "7" }
            ]
        }

        function test_editingFinished(data) {
            var spin = createSpin({ value: 50, from: data.from, to: data.to })
            var input = focusField(spin)
            for (var i = 0; i < data.keys.length; ++i)
                keyClick(data.keys[i])
            compare(input.text, data.typed)
            compare(spin.value, 50, "value untouched while typing")
            keyClick(Qt.Key_Return)
            compare(spin.value, data.value)
            compare(input.text, data.text)
        }

        function test_focusLossFinishesEditing() {
            var spin = createSpin({ value: 50, from: 1, to: 100 })
            var input = focusField(spin)
            keyClick(Qt.Key_0)
            input.focus = false
            compare(spin.value, 1)
            compare(input.text, "1")
        }

        function test_stepping_data() {
            return [
                { tag: "up", value: 5, from: 0, to: 10, step: 1, button: "up", expected: 6 },
                { tag: "down", value: 5, from: 0, to: 10, step: 1, button: "down", expected: 4 },
                { tag: "up by step clamps to to", value: 8, from: 0, to: 10, step: 5, button: "up", expected: 10 },
                { tag: "up at to stays", value: 10, from: 0, to: 10, step: 1, button: "up", expected: 10 },
                { tag: "down at from stays", value: 1, from: 1, to: 30000, step: 1, button: "down", expected: 1 },
                { tag: "down below from clamps", value: 3, from: 1, to: 30000, step: 5, button: "down", expected: 1 }
            ]
        }

        function test_stepping(data) {
            var spin = createSpin({ value: data.value, from: data.from, to: data.to, step: data.step })
            var button = findChild(spin, data.button === "up" ? "spinUp" : "spinDown")
            mouseClick(button)
            compare(spin.value, data.expected)
            compare(field(spin).text, String(data.expected))
        }

        function test_steppingBreaksBindingButAssignmentStillShows() {
            var source = Qt.createQmlObject("import QtQuick 2.12; QtObject { property int speed: 20 }", scene)
            var spin = createTemporaryObject(spinComponent, scene, { from: 0, to: 255 })
            spin.value = Qt.binding(function() { return source.speed })
            mouseClick(findChild(spin, "spinUp"))
            compare(spin.value, 21)
            source.speed = 99
            compare(spin.value, 21, "a stepped input no longer follows its binding")
            spin.value = source.speed
            compare(field(spin).text, "99")
            source.destroy()
        }

        function test_clamp() {
            var spin = createSpin({ from: 1, to: 30000 })
            compare(spin.clamp(0), 1)
            compare(spin.clamp(-5), 1)
            compare(spin.clamp(30001), 30000)
            compare(spin.clamp(500), 500)
        }
    }
}
