import QtQuick 2.12
import QtQuick.Controls 2.12
import "../panels"

// A button that talks to the controller: disabled while that makes no sense,
// with a tooltip saying why (a disabled button itself gets no hover).
Item {
    id: root

    property alias text: button.text
    property alias name: button.objectName
    // The button itself, for a question that moves the keyboard between its answers.
    readonly property alias control: button
    property string accessibleName: text
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    // Empty when the action may run; otherwise why not.
    property string blockedReason
    // Where the status that explains the reason sits above the button, the
    // reason is shown below it, never over that status.
    property bool reasonBelow: false
    signal clicked()

    implicitWidth: button.implicitWidth
    implicitHeight: button.implicitHeight

    TavoxButton {
        id: button
        anchors.fill: parent
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        enabled: root.blockedReason === ""
        Accessible.name: root.accessibleName
        Accessible.description: root.blockedReason
        onClicked: root.clicked()
    }

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: !button.enabled
        acceptedButtons: Qt.NoButton
    }

    ToolTip {
        objectName: "blockedReasonTip"
        parent: hover
        visible: hover.containsMouse && root.blockedReason !== ""
        text: root.blockedReason
        delay: 300
        y: root.reasonBelow ? hover.height + root.uiScale * 4 : -implicitHeight - root.uiScale * 4
    }
}
