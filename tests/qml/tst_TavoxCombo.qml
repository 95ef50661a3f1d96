import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 400
    height: 500

    Component {
        id: comboComponent
        TavoxCombo {
            width: 200
            height: 36
        }
    }

    TestCase {
        name: "TavoxCombo"
        when: windowShown

        function createCombo(properties) {
            var combo = createTemporaryObject(comboComponent, scene, properties)
            verify(combo !== null)
            return combo
        }

        function test_showsSelectedEntry() {
            var combo = createCombo({ model: ["921600", "115200"], currentIndex: 1 })
            compare(combo.currentText, "115200")
            compare(combo.contentItem.text, "115200")
        }

        function test_indexOutsideModelShowsNothing_data() {
            return [
                { tag: "past the end", index: 4 },
                { tag: "none", index: -1 }
            ]
        }

        function test_indexOutsideModelShowsNothing(data) {
            var combo = createCombo({ model: ["NONE", "PWM1", "PWM2", "PWM3"], currentIndex: 1 })
            combo.currentIndex = data.index
            compare(combo.currentText, "")
            compare(combo.contentItem.text, "")
        }

        function test_emptyModelShowsNothing() {
            var combo = createCombo({ model: [], currentIndex: -1 })
            compare(combo.contentItem.text, "")
        }

        function test_contentColourFollowsEnabled() {
            var combo = createCombo({ model: ["a"], currentIndex: 0 })
            compare(String(combo.contentItem.color), "#606266")
            combo.enabled = false
            compare(String(combo.contentItem.color), "#c0c4cc")
        }

        function test_pickFromPopup() {
            var combo = createCombo({ model: ["YAW", "ROLL", "PITCH"], currentIndex: 0 })
            mouseClick(combo)
            tryCompare(combo.popup, "opened", true)
            compare(combo.popup.y, combo.height)
            compare(combo.popup.width, combo.width)
            var list = combo.popup.contentItem
            tryVerify(function() { return list.count === 3 })
            tryVerify(function() { return list.itemAt(10, 2 * 34 + 10) !== null })
            var third = list.itemAt(10, 2 * 34 + 10)
            compare(third.height, 34)
            mouseClick(third)
            tryCompare(combo.popup, "visible", false)
            compare(combo.currentIndex, 2)
            compare(combo.contentItem.text, "PITCH")
        }

        function test_popupHeightIsCapped() {
            var many = []
            for (var i = 0; i <= 16; ++i)
                many.push(i === 0 ? "NONE" : "CH" + i)
            var combo = createCombo({ model: many, currentIndex: 0 })
            combo.popup.open()
            tryCompare(combo.popup, "opened", true)
            compare(combo.popup.height, 280)
        }

        function test_popupListHasNoModelWhileClosed() {
            var combo = createCombo({ model: ["a", "b"], currentIndex: 0 })
            compare(combo.popup.contentItem.count, 0)
        }
    }
}
