import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"

// The one question asked before an action that reboots or moves the
// controller, or that throws away the operator's work. The keyboard starts on
// Cancel, so a hand that presses Enter at once changes nothing; the action is
// reached by Tab or the arrows first. Escape cancels. A third answer (say,
// discard instead of write) stands between the two when `ask` names one. The
// texts may be given as functions that return them, so that an open question
// follows a change of language.
Popup {
    id: dialog

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property var titleSource
    property var textSource
    property var confirmSource
    property var alternativeSource
    readonly property string title: textOf(titleSource)
    readonly property string text: textOf(textSource)
    readonly property string confirmText: textOf(confirmSource)
    readonly property string alternativeText: textOf(alternativeSource)
    property var pendingAction: null
    property var pendingAlternative: null
    // The third answer was chosen (after its action, when `ask` gave one).
    signal alternative()

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // Read again whenever the language changes.
    function textOf(source) {
        if (typeof source === "function")
            return source()
        return source === undefined || source === null ? "" : String(source)
    }

    // `alternativeText` and `alternativeAction` are for a question with a third answer.
    function ask(title, text, confirmText, action, alternativeText, alternativeAction) {
        titleSource = title
        textSource = text
        confirmSource = confirmText
        alternativeSource = alternativeText
        pendingAction = action
        pendingAlternative = alternativeAction || null
        open()
    }

    function confirm() {
        var action = pendingAction
        close()
        if (action)
            action()
    }

    function chooseAlternative() {
        var action = pendingAlternative
        close()
        if (action)
            action()
        alternative()
    }

    objectName: "confirmDialog"
    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 3) : 0
    width: dp(440)
    modal: true
    focus: true
    // Escape is the question's own key, so that it counts as the keyboard's answer.
    closePolicy: Popup.NoAutoClose
    padding: dp(20)
    onOpened: answers.start()
    onClosed: {
        pendingAction = null
        pendingAlternative = null
    }

    FocusReturn { popup: dialog; byKeyboard: answers.keyboardUsed }

    background: Rectangle {
        color: Theme.cardBackground
        radius: dialog.dp(10)
        border.width: 1
        border.color: Theme.borderBase
    }

    contentItem: QuestionScope {
        id: answers
        implicitHeight: column.implicitHeight
        focus: true
        answers: [cancelButton, alternativeButton, acceptButton]
        onEscaped: dialog.close()

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
                DialogButton {
                    id: cancelButton
                    objectName: "confirmCancel"
                    question: answers
                    uiScale: dialog.uiScale
                    text: dialog.zhText("取消 (Esc)", "Cancel (Esc)")
                    font.family: dialog.fontFamily
                    onClicked: dialog.close()
                }
                DialogButton {
                    id: alternativeButton
                    objectName: "confirmAlternative"
                    visible: dialog.alternativeText !== ""
                    question: answers
                    uiScale: dialog.uiScale
                    text: dialog.alternativeText
                    font.family: dialog.fontFamily
                    onClicked: dialog.chooseAlternative()
                }
                DialogButton {
                    id: acceptButton
                    objectName: "confirmAccept"
                    question: answers
                    primary: true
                    uiScale: dialog.uiScale
                    text: dialog.confirmText
                    font.family: dialog.fontFamily
                    onClicked: dialog.confirm()
                }
            }
        }
    }
}
