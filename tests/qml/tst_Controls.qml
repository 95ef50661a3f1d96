import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 400
    height: 400

    property string language: "zh"

    TavoxTestCase {
        name: "TavoxSpinInput"
        subject: Component { TavoxSpinInput { width: 240; height: 44 } }

        function test_typing_data() {
            return [
                { tag: "letters dropped", keys: "1a2", from: 0, to: 255, typed: "12", value: 12 },
                { tag: "above to snaps at once", keys: "300", from: 0, to: 255, typed: "255", now: 255, value: 255 },
                { tag: "below from raised at the end", keys: "0", from: 1, to: 30000, typed: "0", value: 1 },
                { tag: "leading zeros", keys: "007", from: 0, to: 255, typed: "007", value: 7 },
                { tag: "emptied becomes from", keys: [Qt.Key_Backspace], from: 3, to: 99, typed: "", value: 3 },
                { tag: "focus loss finishes too", keys: "0", from: 1, to: 100, typed: "0", value: 1, blur: true }
            ]
        }

        function test_typing(data) {
            var spin = createSubject({ value: 50, from: data.from, to: data.to })
            var input = part(spin, "spinField")
            typeInto(spin, data.keys)
            compare(input.text, data.typed)
            compare(spin.value, data.now === undefined ? 50 : data.now, "value while typing")
            if (data.blur)
                input.focus = false
            else
                keyClick(Qt.Key_Return)
            compare(spin.value, data.value)
            compare(input.text, String(data.value))
        }

        function test_stepping_data() {
            return [
                { tag: "up", value: 5, from: 0, to: 10, step: 1, button: "spinUp", expected: 6 },
                { tag: "up by step clamps to to", value: 8, from: 0, to: 10, step: 5, button: "spinUp", expected: 10 },
                { tag: "down below from clamps", value: 3, from: 1, to: 30000, step: 5, button: "spinDown", expected: 1 }
            ]
        }

        function test_stepping(data) {
            var spin = createSubject({ value: data.value, from: data.from, to: data.to, step: data.step })
            mouseClick(part(spin, data.button))
            compare(spin.value, data.expected)
            compare(part(spin, "spinField").text, String(data.expected))
        }
    }

    TavoxTestCase {
        name: "ToggleSwitch"
        subject: Component { ToggleSwitch {} }

        SignalSpy { id: toggledSpy; signalName: "toggled" }

        function test_toggledOnlyByEnabledClicks() {
            var toggle = createSubject({ enabled: false, checked: true })
            toggledSpy.target = toggle
            mouseClick(toggle)
            verify(toggle.checked)
            toggle.enabled = true
            mouseClick(toggle)
            verify(!toggle.checked)
            toggle.checked = true
            compare(toggledSpy.count, 1)
            compare(toggledSpy.signalArguments[0][0], false)
        }
    }

    TavoxTestCase {
        name: "TavoxCombo"
        subject: Component {
            TavoxCombo {
                width: 200
                height: 36
                model: scene.language === "zh" ? ["相机下置", "相机上置"] : ["Camera Bottom", "Camera Top"]
            }
        }

        function init() { scene.language = "zh" }

        function test_indexOutsideModelShowsNothing_data() {
            return [{ tag: "past the end", index: 4 }, { tag: "none", index: -1 }]
        }

        function test_indexOutsideModelShowsNothing(data) {
            var combo = createSubject({ currentIndex: 1 })
            combo.currentIndex = data.index
            compare(combo.contentItem.text, "")
        }

        // The fix for Qt's reset to the first entry whenever the model is replaced.
        function test_retranslatedListKeepsTheChoice() {
            var combo = createSubject({ currentIndex: 1 })
            scene.language = "en"
            compare(combo.currentIndex, 1)
            compare(combo.contentItem.text, "Camera Top")
            mouseClick(combo)
            tryCompare(combo.popup, "opened", true)
            var list = combo.popup.contentItem
            scene.language = "zh"
            tryVerify(function() { var item = list.itemAt(10, 10); return item && item.contentItem.text === "相机下置" })
            mouseClick(list.itemAt(10, 10))
            tryCompare(combo.popup, "visible", false)
            compare(combo.contentItem.text, "相机下置")
        }
    }
}
