import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"

// An integer field with step buttons. Every press of a button steps, held it
// repeats; Up/Down, PageUp/PageDown and, while the field has the focus, the
// wheel step too. A typed number outside `from`–`to` is kept as typed and
// shown as an error with the range; `value` keeps the last number in range.
// A `value` outside the range (the controller's own) is shown as it is,
// marked. Either way `invalid` says a panel must not send it.
Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property int value: 0
    property int from: 0
    property int to: 99999
    property int step: 1
    // No controller value yet: the field shows a dash, not a guess.
    property bool blank: false
    // Changed by the operator and not written; `hint` names the controller's value.
    property bool edited: false
    // Written and not yet read back from the controller.
    property bool unconfirmed: false
    property string hint
    // The field holds a number out of range, typed or given.
    readonly property bool invalid: isOutOfRange(input.text)
    // The value given (the controller's) is out of range: said inside the field,
    // which a popup below it could not be when the panel is scrolled.
    readonly property bool givenOutOfRange: invalid && input.text === shownText()
    readonly property string errorText: !invalid ? ""
        : givenOutOfRange ? zhText("超出 ", "outside ") + from + ".." + to
        : zhText("超出范围，允许 ", "Out of range, allowed ") + from + "–" + to

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function clamp(v) { return Math.max(from, Math.min(to, v)) }
    function shownText() { return blank ? "" : String(value) }
    function isOutOfRange(text) {
        var typed = parseInt(text, 10)
        return text !== "" && !isNaN(typed) && (typed < from || typed > to)
    }

    // From the number in the field when it is one in range, else from `value`.
    function stepBy(steps) {
        var typed = parseInt(input.text, 10)
        var start = isNaN(typed) || isOutOfRange(input.text) ? value : typed
        value = clamp(start + steps * step)
        input.text = shownText()
    }

    // Large ranges (1–30000) step faster when held; small ones (0–255) stay fine.
    function stepsOfRepeat(count) {
        var mostPerRepeat = Math.max(1, Math.floor((to - from) / (50 * step)))
        return Math.min(count, mostPerRepeat)
    }

    function finishEditing() {
        var typed = parseInt(input.text, 10)
        if (input.text === "" || isNaN(typed)) {
            // An emptied field loses nothing: it shows the value again.
            input.text = shownText()
            return
        }
        if (isOutOfRange(input.text))
            return
        value = typed
        input.text = shownText()
    }

    implicitHeight: dp(44)
    Layout.fillWidth: true

    // Named where it is used; value, range and step are read from `value`, `from`, `to` and `step`.
    readonly property string rangeText: zhText("范围 ", "Range ") + from + "–" + to
    Accessible.role: Accessible.SpinBox
    Accessible.description: invalid ? errorText : blank ? zhText("未读取，", "Not read; ") + rangeText : rangeText
    Accessible.onIncreaseAction: stepBy(1)
    Accessible.onDecreaseAction: stepBy(-1)

    onValueChanged: {
        if (input.text !== shownText())
            input.text = shownText()
    }
    onBlankChanged: input.text = shownText()

    HoverHandler { id: hover }
    HintToolTip {
        id: hintTip
        wanted: hover.hovered && root.hint !== "" && !root.invalid
        text: root.hint
    }

    // The wheel steps only a field the operator is typing in; over any other
    // field it scrolls the page on, so a value never changes in passing.
    readonly property bool takesWheel: input.activeFocus

    // A notch of the wheel is one step; a touchpad's small deltas add up to one.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        enabled: root.enabled && root.takesWheel
        property int pendingDelta: 0
        onWheel: {
            pendingDelta += wheel.angleDelta.y
            var notches = Math.trunc(pendingDelta / 120)
            if (notches !== 0) {
                pendingDelta -= notches * 120
                root.stepBy(notches)
            }
        }
    }

    Rectangle {
        id: outerFrame
        anchors.fill: parent
        radius: 6
        border.width: root.invalid || root.edited || root.unconfirmed ? 2 : 1
        border.color: root.invalid ? Theme.danger : root.edited ? Theme.warning
                                   : root.unconfirmed ? Theme.primary : Theme.borderBase
        color: Theme.fieldBackground

        RowLayout {
            anchors.fill: parent
            anchors.margins: outerFrame.border.width
            spacing: 0

            TextField {
                id: input
                objectName: "spinField"
                Accessible.name: root.Accessible.name
                Accessible.description: root.Accessible.description
                Layout.fillWidth: true
                Layout.fillHeight: true
                text: root.shownText()
                placeholderText: root.blank ? "—" : ""
                horizontalAlignment: TextInput.AlignHCenter
                verticalAlignment: TextInput.AlignVCenter
                font.family: root.fontFamily
                font.pixelSize: root.dp(16)
                color: root.invalid ? Theme.danger : Theme.textPrimary
                selectedTextColor: Theme.selectionText
                selectionColor: Theme.selectionBackground
                selectByMouse: true
                validator: RegExpValidator { regExp: /[0-9]*/ }

                background: Rectangle {
                    color: Theme.inputBackground
                    radius: 5
                    Rectangle {
                        // squares off the right-hand corners next to the buttons
                        anchors.right: parent.right
                        width: parent.width / 2
                        height: parent.height
                        color: parent.color
                    }
                }

                onTextChanged: {
                    var digits = text.replace(/[^0-9]/g, "")
                    if (digits !== text)
                        text = digits
                }
                onEditingFinished: root.finishEditing()

                Label {
                    objectName: "rangeNote"
                    visible: root.givenOutOfRange
                    anchors.left: parent.left
                    anchors.leftMargin: root.dp(8)
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.errorText
                    font.family: root.fontFamily
                    font.pixelSize: root.dp(11)
                    color: Theme.danger
                }
                Keys.onUpPressed: root.stepBy(1)
                Keys.onDownPressed: root.stepBy(-1)
                Keys.onPressed: {
                    hintTip.dismiss()
                    if (event.key === Qt.Key_PageUp || event.key === Qt.Key_PageDown) {
                        root.stepBy(event.key === Qt.Key_PageUp ? 10 : -10)
                        event.accepted = true
                    }
                }
            }

            Rectangle {
                Layout.preferredWidth: 1
                Layout.fillHeight: true
                color: Theme.borderLight
            }

            ColumnLayout {
                readonly property int buttonWidth: Math.round(0.2 * outerFrame.width)
                Layout.preferredWidth: buttonWidth
                Layout.maximumWidth: buttonWidth
                Layout.fillHeight: true
                spacing: 0

                SpinStepButton {
                    objectName: "spinUp"
                    glyph: "︿"
                    glyphOffset: -5
                    roundedCorner: Qt.AlignTop
                    uiScale: root.uiScale
                    fontFamily: root.fontFamily
                    onStepped: root.stepBy(root.stepsOfRepeat(count))
                    // The mouse steps on the press; a screen reader's press is all at once.
                    Accessible.name: root.zhText("增大", "Increase") + " " + root.Accessible.name
                    Accessible.onPressAction: root.stepBy(1)
                }

                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: Theme.borderLight
                }

                SpinStepButton {
                    objectName: "spinDown"
                    glyph: "﹀"
                    glyphOffset: 5
                    roundedCorner: Qt.AlignBottom
                    uiScale: root.uiScale
                    fontFamily: root.fontFamily
                    onStepped: root.stepBy(-root.stepsOfRepeat(count))
                    Accessible.name: root.zhText("减小", "Decrease") + " " + root.Accessible.name
                    Accessible.onPressAction: root.stepBy(-1)
                }
            }
        }
    }

    FocusRing {
        shown: input.activeFocus && (input.focusReason === Qt.TabFocusReason || input.focusReason === Qt.BacktabFocusReason)
        uiScale: root.uiScale
    }

    // Below the field, over whatever follows, until the number is in range again.
    readonly property alias errorPopup: errorTip
    ToolTip {
        id: errorTip
        objectName: "spinError"
        parent: root
        y: root.height + root.dp(2)
        visible: root.invalid && !root.givenOutOfRange && root.visible
        text: root.errorText
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        closePolicy: Popup.NoAutoClose
        contentItem: Label {
            text: errorTip.text
            font: errorTip.font
            color: Theme.danger
        }
        background: Rectangle {
            radius: root.dp(4)
            color: Theme.dangerBackground
            border.width: 1
            border.color: Theme.dangerBorder
        }
    }
}
