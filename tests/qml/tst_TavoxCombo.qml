import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 400
    height: 500

    property string language: "zh"

    Component {
        id: translatedComboComponent
        TavoxCombo {
            width: 200
            height: 36
            model: scene.language === "zh" ? ["相机下置", "相机上置"] : ["Camera Bottom", "Camera Top"]
        }
    }

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

        function init() { scene.language = "zh" }

        function test_retranslatedListKeepsChoice() {
            var combo = createTemporaryObject(translatedComboComponent, scene, { currentIndex: 1 })
            scene.language = "en"
            compare(combo.currentIndex, 1)
            compare(combo.contentItem.text, "Camera Top")
            combo.currentIndex = 0
            scene.language = "zh"
            compare(combo.currentIndex, 0)
            compare(combo.contentItem.text, "相机下置")
        }

        function test_retranslatedListKeepsIndexOutsideModel() {
            var combo = createTemporaryObject(translatedComboComponent, scene, { currentIndex: 5 })
            scene.language = "en"
            compare(combo.currentIndex, 5)
            compare(combo.contentItem.text, "")
        }

        function test_openPopupRetranslates() {
            var combo = createTemporaryObject(translatedComboComponent, scene, { currentIndex: 1 })
            mouseClick(combo)
            tryCompare(combo.popup, "opened", true)
            var list = combo.popup.contentItem
            tryVerify(function() { return list.itemAt(10, 34 + 10) !== null })
            compare(list.itemAt(10, 10).contentItem.text, "相机下置")
            scene.language = "en"
            tryVerify(function() { var item = list.itemAt(10, 10); return item !== null && item.contentItem.text === "Camera Bottom" })
            compare(combo.currentIndex, 1)
            combo.popup.close()
        }

        function test_newListCanSelectFirstEntry_data() {
            return [
                { tag: "same length", next: ["/dev/ttyS1", "/dev/ttyS2"], index: 0 },
                { tag: "longer", next: ["/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"], index: 0 },
                { tag: "empty", next: [], index: -1 }
            ]
        }

        function test_newListCanSelectFirstEntry(data) {
            var combo = createCombo({ keepIndexOnNewModel: false, model: ["/dev/ttyUSB0", "/dev/ttyUSB1"] })
            combo.currentIndex = 1
            combo.model = data.next
            compare(combo.currentIndex, data.index)
        }

        function test_popupListHasNoModelWhileClosed() {
            var combo = createCombo({ model: ["a", "b"], currentIndex: 0 })
            compare(combo.popup.contentItem.count, 0)
        }
    }
}
