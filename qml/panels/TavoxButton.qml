import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0
import "../controls"

Button {
    id: control

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }

    font.family: fontFamily
    font.pixelSize: dp(16)
    palette.buttonText: Theme.textOnPrimary
    // Space presses a focused button already; Enter does the same.
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    background: Rectangle {
        radius: control.dp(8)
        border.width: 0
        color: control.pressed ? Theme.primaryPressed : (control.enabled ? Theme.primary : Theme.primaryDisabled)

        FocusRing {
            shown: control.visualFocus
            uiScale: control.uiScale
            radius: control.dp(10)
        }
    }

    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.textOnPrimary
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
