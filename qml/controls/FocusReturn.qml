import QtQuick 2.12
import QtQuick.Templates 2.12 as T
import QtQuick.Window 2.12

// Gives the keyboard focus back, when `popup` closes, to the control that had
// it when the popup opened (the button that asked), with the ring it had, or
// with the ring anyway when the popup was answered by keyboard (`byKeyboard`):
// the operator's next key goes on from there. A control gone or disabled in
// the meantime is skipped.
QtObject {
    id: focusReturn

    property T.Popup popup
    property bool byKeyboard: false
    property Item opener: null
    property int openerReason: Qt.OtherFocusReason

    readonly property Connections popupEvents: Connections {
        target: focusReturn.popup
        function onAboutToShow() {
            var focused = focusReturn.popup.parent ? focusReturn.popup.parent.Window.activeFocusItem : null
            focusReturn.opener = focused
            focusReturn.openerReason = focused && focused.focusReason !== undefined ? focused.focusReason : Qt.OtherFocusReason
        }
        function onClosed() {
            var opener = focusReturn.opener
            focusReturn.opener = null
            if (!opener || !opener.visible || !opener.enabled)
                return
            var reason = focusReturn.byKeyboard ? Qt.TabFocusReason : focusReturn.openerReason
            // The window may have given the focus back already, for another reason and without the ring.
            if (opener.activeFocus && opener.focusReason !== reason)
                opener.focus = false
            opener.forceActiveFocus(reason)
        }
    }
}
