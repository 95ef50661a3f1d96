import QtQuick 2.12

Item {
    id: toggle

    property bool checked: false
    property real uiScale: 1.0

    signal toggled(bool checked)

    implicitWidth: 42 * uiScale
    implicitHeight: 24 * uiScale
    width: implicitWidth
    height: implicitHeight

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: toggle.checked ? "#409EFF" : "#C0C4CC"
    }

    Rectangle {
        id: knob
        objectName: "knob"
        width: toggle.height - 4 * toggle.uiScale
        height: width
        radius: width / 2
        color: "white"
        anchors.verticalCenter: parent.verticalCenter
        x: toggle.checked ? toggle.width - width - 2 * toggle.uiScale : 2 * toggle.uiScale

        Behavior on x {
            NumberAnimation { duration: 120; easing.type: Easing.OutCubic }
        }
    }

    MouseArea {
        anchors.fill: parent
        enabled: toggle.enabled
        onClicked: {
            toggle.checked = !toggle.checked
            toggle.toggled(toggle.checked)
        }
    }
}
