import QtQuick 2.12
import QtQuick.Controls 2.12

Button {
    id: control

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }

    font.family: fontFamily
    font.pixelSize: dp(16)
    palette.buttonText: "white"

    background: Rectangle {
        radius: control.dp(8)
        border.width: 0
        color: control.pressed ? "#337ECC" : (control.enabled ? "#409EFF" : "#A0CFFF")
    }

    contentItem: Text {
        text: control.text
        font: control.font
        color: "white"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
