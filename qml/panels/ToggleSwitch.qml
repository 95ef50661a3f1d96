import QtQuick 2.12
import Tavox 1.0
import "../controls"

// Clicked, or with Tab focus Space or Enter: turns over and says so.
Item {
    id: toggle

    property bool checked: false
    property real uiScale: 1.0

    signal toggled(bool checked)

    function flip() {
        if (!enabled)
            return
        checked = !checked
        toggled(checked)
    }

    implicitWidth: 42 * uiScale
    implicitHeight: 24 * uiScale
    width: implicitWidth
    height: implicitHeight
    activeFocusOnTab: true
    Keys.onSpacePressed: flip()
    Keys.onReturnPressed: flip()
    Keys.onEnterPressed: flip()

    // To a screen reader, a check box; its name comes from where it is used.
    Accessible.role: Accessible.CheckBox
    Accessible.checkable: true
    Accessible.checked: checked
    Accessible.onPressAction: flip()
    Accessible.onToggleAction: flip()

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: toggle.checked ? Theme.primary : Theme.textPlaceholder
    }

    Rectangle {
        id: knob
        objectName: "knob"
        width: toggle.height - 4 * toggle.uiScale
        height: width
        radius: width / 2
        color: Theme.cardBackground
        anchors.verticalCenter: parent.verticalCenter
        x: toggle.checked ? toggle.width - width - 2 * toggle.uiScale : 2 * toggle.uiScale

        Behavior on x {
            NumberAnimation { duration: 120; easing.type: Easing.OutCubic }
        }
    }

    // A click gives no focus, so the ring shows only where Tab put it.
    FocusRing {
        shown: toggle.activeFocus
        uiScale: toggle.uiScale
        radius: height / 2
    }

    MouseArea {
        anchors.fill: parent
        enabled: toggle.enabled
        onClicked: toggle.flip()
    }
}
