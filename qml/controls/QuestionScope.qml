import QtQuick 2.12

// The keyboard of a question: the focus starts on its safe answer (the first
// of `answers`), Tab, Shift+Tab and the arrows go round the answers shown,
// Enter and Space give the focused one, Escape sends `escaped`. Nothing is
// chosen by Enter alone that the operator did not move to first.
FocusScope {
    id: scope

    // In the order they stand, the one that changes nothing first.
    property var answers: []
    // Whether the operator answered with the keyboard, for the ring on return.
    property bool keyboardUsed: false
    signal escaped()

    function shownAnswers() {
        return answers.filter(function(answer) { return answer && answer.visible && answer.enabled })
    }

    function focusedIndex(shown) {
        for (var i = 0; i < shown.length; ++i) {
            if (shown[i].activeFocus)
                return i
        }
        return -1
    }

    function start() {
        keyboardUsed = false
        var shown = shownAnswers()
        if (shown.length > 0)
            shown[0].forceActiveFocus(Qt.TabFocusReason)
    }

    function move(step) {
        keyboardUsed = true
        var shown = shownAnswers()
        if (shown.length === 0)
            return
        var index = focusedIndex(shown)
        var next = index < 0 ? 0 : (index + step + shown.length) % shown.length
        shown[next].forceActiveFocus(step > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
    }

    // With no answer focused, the safe one.
    function activate() {
        keyboardUsed = true
        var shown = shownAnswers()
        if (shown.length > 0)
            shown[Math.max(0, focusedIndex(shown))].clicked()
    }

    Keys.onTabPressed: move(1)
    Keys.onBacktabPressed: move(-1)
    Keys.onRightPressed: move(1)
    Keys.onLeftPressed: move(-1)
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    Keys.onEscapePressed: {
        keyboardUsed = true
        escaped()
    }
}
