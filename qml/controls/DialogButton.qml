import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0

// An answer of a question (QuestionScope): the ring shows where the keyboard
// is, Space and Enter give it. `primary` is the blue of an action; an answer
// that changes nothing stays plain.
Button {
    id: answer

    property QtObject question
    property bool primary: false
    property real uiScale: 1.0

    // Through the question, which notes that the keyboard answered.
    function keyed() {
        if (question)
            question.activate()
        else
            clicked()
    }

    focusPolicy: Qt.StrongFocus
    font.pixelSize: 15 * uiScale
    leftPadding: 14 * uiScale
    rightPadding: 14 * uiScale
    Keys.onSpacePressed: keyed()
    Keys.onReturnPressed: keyed()
    Keys.onEnterPressed: keyed()

    background: Rectangle {
        implicitHeight: 36 * answer.uiScale
        radius: 8 * answer.uiScale
        color: answer.primary ? (answer.pressed ? Theme.primaryPressed : answer.enabled ? Theme.primary : Theme.primaryDisabled)
                              : (answer.pressed ? Theme.borderLight : Theme.fieldBackground)
        border.width: answer.primary ? 0 : 1
        border.color: Theme.borderBase

        FocusRing { shown: answer.activeFocus; uiScale: answer.uiScale; radius: 10 * answer.uiScale }
    }

    contentItem: Text {
        text: answer.text
        font: answer.font
        color: answer.primary ? Theme.textOnPrimary : answer.enabled ? Theme.textPrimary : Theme.textPlaceholder
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
