import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 300
    height: 100

    Component {
        id: buttonComponent
        TavoxButton {
            width: 120
            height: 38
            text: "写入"
        }
    }

    Component {
        id: spyComponent
        SignalSpy { signalName: "clicked" }
    }

    TestCase {
        name: "TavoxButton"
        when: windowShown

        function test_colourByState() {
            var button = createTemporaryObject(buttonComponent, scene)
            compare(String(button.background.color), "#409eff")
            mousePress(button)
            compare(String(button.background.color), "#337ecc")
            mouseRelease(button)
            button.enabled = false
            compare(String(button.background.color), "#a0cfff")
        }

        function test_textStyle() {
            var button = createTemporaryObject(buttonComponent, scene, { uiScale: 2, fontFamily: "Noto Sans CJK SC" })
            compare(button.contentItem.text, "写入")
            compare(button.contentItem.font.pixelSize, 32)
            compare(button.contentItem.font.family, "Noto Sans CJK SC")
            compare(String(button.contentItem.color), "#ffffff")
            compare(button.background.radius, 16)
        }

        function test_clicksOnlyWhileEnabled() {
            var button = createTemporaryObject(buttonComponent, scene)
            var spy = createTemporaryObject(spyComponent, scene, { target: button })
            mouseClick(button)
            compare(spy.count, 1)
            button.enabled = false
            mouseClick(button)
            compare(spy.count, 1)
        }
    }
}
