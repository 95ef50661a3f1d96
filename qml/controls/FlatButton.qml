import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0

// The small flat button of the window's bars (the service bar, the zoom):
// a light field with a border, amber while it asks for `attention`.
Button {
    id: control

    property bool attention: false
    property color textColor: Theme.textPrimary
    property real uiScale: Theme.uiScale

    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    background: Rectangle {
        radius: Theme.radius
        color: control.attention ? (control.pressed ? Theme.warningMuted : Theme.warningBackground)
                                 : (control.pressed ? Theme.borderLight : Theme.fieldBackground)
        border.width: 1
        border.color: control.attention ? Theme.warning : Theme.borderBase

        FocusRing { shown: control.visualFocus; uiScale: control.uiScale }
    }
    contentItem: Text {
        text: control.text
        font: control.font
        color: control.enabled ? control.textColor : Theme.textPlaceholder
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
