import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../panels"

// The one question asked before an action that reboots or moves the
// controller, or that throws away the operator's work. Enter confirms,
// Escape cancels. The texts may be given as functions that return them, so
// that an open question follows a change of language. With a third answer
// (`alternativeText`) no answer is taken for granted: the focus starts on
// Cancel, Tab and the arrows move it, Enter and Space take the focused one.
Popup {
    id: dialog

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property var titleSource
    property var textSource
    property var confirmSource
    readonly property string title: textOf(titleSource)
    readonly property string text: textOf(textSource)
    readonly property string confirmText: textOf(confirmSource)
    property var pendingAction: null
    property string alternativeText
    readonly property bool threeAnswers: alternativeText !== ""

    signal alternative()

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // Read again whenever the language changes.
    function textOf(source) {
        if (typeof source === "function")
            return source()
        return source === undefined || source === null ? "" : String(source)
    }

    function ask(title, text, confirmText, action) {
        titleSource = title
        textSource = text
        confirmSource = confirmText
        pendingAction = action
        open()
    }

    function takeAlternative() {
        pendingAction = null
        close()
        alternative()
    }

    // Enter takes the focused answer; with two answers, Enter always confirms.
    function takeFocused() {
        if (threeAnswers && cancelButton.activeFocus)
            close()
        else if (threeAnswers && alternativeButton.activeFocus)
            takeAlternative()
        else
            confirm()
    }

    function confirm() {
        var action = pendingAction
        pendingAction = null
        close()
        if (action)
            action()
    }

    objectName: "confirmDialog"
    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 3) : 0
    width: dp(440)
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: dp(20)
    onClosed: pendingAction = null
    // Moved away first: a button that kept the focus from the last question would keep that focus's reason, and no ring.
    onOpened: {
        if (!threeAnswers)
            return
        acceptButton.forceActiveFocus()
        cancelButton.forceActiveFocus(Qt.TabFocusReason)
    }

    FocusReturn { popup: dialog }

    background: Rectangle {
        color: Theme.cardBackground
        radius: dialog.dp(10)
        border.width: 1
        border.color: Theme.borderBase
    }

    contentItem: FocusScope {
        implicitHeight: column.implicitHeight
        focus: true
        Keys.onReturnPressed: dialog.takeFocused()
        Keys.onEnterPressed: dialog.takeFocused()

        ColumnLayout {
            id: column
            anchors.fill: parent
            spacing: dialog.dp(14)

            Label {
                objectName: "confirmTitle"
                Layout.fillWidth: true
                text: dialog.title
                wrapMode: Text.WordWrap
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(18)
                font.bold: true
                color: Theme.textPrimary
            }
            Label {
                objectName: "confirmText"
                Layout.fillWidth: true
                text: dialog.text
                wrapMode: Text.WordWrap
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(15)
                color: Theme.textRegular
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: dialog.dp(10)

                Item { Layout.fillWidth: true }
                Button {
                    id: cancelButton
                    objectName: "confirmCancel"
                    Layout.preferredHeight: dialog.dp(36)
                    text: dialog.zhText("取消 (Esc)", "Cancel (Esc)")
                    font.family: dialog.fontFamily
                    font.pixelSize: dialog.dp(15)
                    focusPolicy: dialog.threeAnswers ? Qt.StrongFocus : Qt.NoFocus
                    KeyNavigation.right: alternativeButton.visible ? alternativeButton : acceptButton
                    onClicked: dialog.close()
                    FocusRing { shown: parent.visualFocus; uiScale: dialog.uiScale }
                }
                Button {
                    id: alternativeButton
                    objectName: "confirmAlternative"
                    visible: dialog.threeAnswers
                    Layout.preferredHeight: dialog.dp(36)
                    text: dialog.alternativeText
                    font.family: dialog.fontFamily
                    font.pixelSize: dialog.dp(15)
                    focusPolicy: Qt.StrongFocus
                    KeyNavigation.left: cancelButton
                    KeyNavigation.right: acceptButton
                    onClicked: dialog.takeAlternative()
                    FocusRing { shown: parent.visualFocus; uiScale: dialog.uiScale }
                }
                TavoxButton {
                    id: acceptButton
                    objectName: "confirmAccept"
                    uiScale: dialog.uiScale
                    fontFamily: dialog.fontFamily
                    Layout.preferredHeight: dialog.dp(36)
                    text: dialog.threeAnswers ? dialog.confirmText : dialog.confirmText + " (Enter)"
                    focusPolicy: dialog.threeAnswers ? Qt.StrongFocus : Qt.NoFocus
                    KeyNavigation.left: alternativeButton.visible ? alternativeButton : cancelButton
                    onClicked: dialog.confirm()
                }
            }
        }
    }
}
