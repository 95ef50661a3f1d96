import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// One of a spin input's two step buttons. A press steps at once, so a double
// click steps twice; held, it repeats, faster the longer it is held.
// `stepped(count)` says how many steps the press or the repeat asks for.
Button {
    id: stepButton

    property string glyph
    property real glyphOffset: 0
    property int roundedCorner: Qt.AlignTop
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    // Repeats since the press: the step grows after these many.
    property int repeats: 0
    readonly property int firstRepeatDelayMs: 400
    readonly property int repeatIntervalMs: 60

    signal stepped(int count)

    function stepsPerRepeat() {
        if (repeats >= 30)
            return 100
        return repeats >= 12 ? 10 : 1
    }

    Layout.fillWidth: true
    Layout.fillHeight: true
    // The field takes the keys (Up, Down, PageUp, PageDown) for both buttons.
    focusPolicy: Qt.NoFocus
    padding: 0

    onPressed: {
        repeats = 0
        stepped(1)
        repeater.interval = firstRepeatDelayMs
        repeater.start()
    }
    onReleased: repeater.stop()
    onCanceled: repeater.stop()
    onEnabledChanged: repeater.stop()

    Timer {
        id: repeater
        objectName: "repeatTimer"
        repeat: true
        onTriggered: {
            interval = stepButton.repeatIntervalMs
            ++stepButton.repeats
            stepButton.stepped(stepButton.stepsPerRepeat())
        }
    }

    contentItem: Item {
        Text {
            anchors.centerIn: parent
            anchors.verticalCenterOffset: stepButton.glyphOffset
            text: stepButton.glyph
            font.family: stepButton.fontFamily
            font.pixelSize: 16 * stepButton.uiScale
            color: Theme.textRegular
        }
    }

    background: Rectangle {
        color: stepButton.pressed ? Theme.borderBase : Theme.fieldBackground
        radius: 6 * stepButton.uiScale
        Rectangle {
            // keeps every corner square except the one at the frame's outer edge
            color: parent.color
            x: 0
            width: parent.width / 2
            height: parent.height
        }
        Rectangle {
            color: parent.color
            width: parent.width
            height: parent.height / 2
            y: stepButton.roundedCorner === Qt.AlignTop ? parent.height / 2 : 0
        }
    }
}
