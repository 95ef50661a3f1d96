import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0

// A button that acts only while it is held: by the mouse, or by Space while it
// has the keyboard. Every way a hold can end ends it: letting go, the press
// taken away, the focus lost, the button hidden, disabled or gone. A screen
// reader's press starts a hold and its next press ends it, as nobody can hold
// a key through one.
Item {
    id: root

    property alias text: button.text
    property alias name: button.objectName
    property string accessibleName: text
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    // Empty when the action may run; otherwise why not.
    property string blockedReason
    readonly property bool held: button.held
    signal holdStarted()
    signal holdEnded()

    function dp(v) { return v * uiScale }

    implicitWidth: button.implicitWidth
    implicitHeight: button.implicitHeight

    Button {
        id: button

        property bool held: false

        function start() {
            if (held)
                return
            held = true
            root.holdStarted()
        }

        function end() {
            if (!held)
                return
            held = false
            root.holdEnded()
        }

        anchors.fill: parent
        enabled: root.blockedReason === ""
        down: held || pressed
        font.family: root.fontFamily
        font.pixelSize: root.dp(15)

        onPressed: start()
        // Let go, taken over by a view that scrolls, or the pointer dragged off the button.
        onPressedChanged: if (!pressed) end()
        onActiveFocusChanged: if (!activeFocus) end()
        onVisibleChanged: if (!visible) end()
        onEnabledChanged: if (!enabled) end()
        Component.onDestruction: end()

        // A held key repeats; only its first press and its last release count.
        Keys.onPressed: function(event) {
            if (event.key !== Qt.Key_Space)
                return
            event.accepted = true
            if (!event.isAutoRepeat)
                start()
        }
        Keys.onReleased: function(event) {
            if (event.key !== Qt.Key_Space)
                return
            event.accepted = true
            if (!event.isAutoRepeat)
                end()
        }

        Accessible.role: Accessible.Button
        Accessible.name: root.accessibleName
        Accessible.checkable: true
        Accessible.checked: held
        Accessible.onPressAction: held ? end() : start()

        background: Rectangle {
            radius: root.dp(8)
            color: button.down ? Theme.primaryPressed : (button.enabled ? Theme.primary : Theme.primaryDisabled)

            FocusRing {
                shown: button.visualFocus
                uiScale: root.uiScale
                radius: root.dp(10)
            }
        }

        contentItem: Text {
            text: button.text
            font: button.font
            color: Theme.textOnPrimary
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: !button.enabled
        acceptedButtons: Qt.NoButton
        ToolTip.visible: containsMouse && root.blockedReason !== ""
        ToolTip.text: root.blockedReason
        ToolTip.delay: 300
    }
}
