import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12

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

    function dp(v) { return v * uiScale }
    function clamp(v) { return Math.max(from, Math.min(to, v)) }

    implicitHeight: dp(44)
    Layout.fillWidth: true

    function shownText() { return blank ? "" : String(value) }

    onValueChanged: {
        if (input.text !== shownText())
            input.text = shownText()
    }
    onBlankChanged: input.text = shownText()

    HoverHandler { id: hover }
    ToolTip.visible: hover.hovered && hint !== ""
    ToolTip.text: hint
    ToolTip.delay: 300

    Rectangle {
        id: outerFrame
        anchors.fill: parent
        radius: 6
        border.width: root.edited || root.unconfirmed ? 2 : 1
        border.color: root.edited ? "#E6A23C" : root.unconfirmed ? "#409EFF" : "#dcdfe6"
        color: "#f5f7fa"

        RowLayout {
            anchors.fill: parent
            anchors.margins: outerFrame.border.width
            spacing: 0

            TextField {
                id: input
                objectName: "spinField"
                Layout.fillWidth: true
                Layout.fillHeight: true
                text: root.shownText()
                placeholderText: root.blank ? "—" : ""
                horizontalAlignment: TextInput.AlignHCenter
                verticalAlignment: TextInput.AlignVCenter
                font.family: root.fontFamily
                font.pixelSize: root.dp(16)
                color: "#303133"
                selectedTextColor: "#3367D1"
                selectionColor: "#E8F0FE"
                selectByMouse: true
                validator: RegExpValidator { regExp: /[0-9]*/ }

                background: Rectangle {
                    color: "white"
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
                    if (digits !== text) {
                        text = digits
                        return
                    }
                    if (text === "")
                        return
                    var typed = parseInt(text, 10)
                    if (isNaN(typed))
                        return
                    if (typed > root.to) {
                        root.value = root.to
                        text = String(root.to)
                    }
                }

                onEditingFinished: {
                    var typed = parseInt(text, 10)
                    if (text === "" || isNaN(typed))
                        typed = root.from
                    root.value = root.clamp(typed)
                    text = String(root.value)
                }
            }

            Rectangle {
                Layout.preferredWidth: 1
                Layout.fillHeight: true
                color: "#e4e7ed"
            }

            ColumnLayout {
                readonly property int buttonWidth: Math.round(0.2 * outerFrame.width)
                Layout.preferredWidth: buttonWidth
                Layout.maximumWidth: buttonWidth
                Layout.fillHeight: true
                spacing: 0

                SpinStepButton {
                    id: upButton
                    objectName: "spinUp"
                    glyph: "︿"
                    glyphOffset: -5
                    roundedCorner: Qt.AlignTop
                    onClicked: root.value = root.clamp(root.value + root.step)
                }

                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: "#e4e7ed"
                }

                SpinStepButton {
                    id: downButton
                    objectName: "spinDown"
                    glyph: "﹀"
                    glyphOffset: 5
                    roundedCorner: Qt.AlignBottom
                    onClicked: root.value = root.clamp(root.value - root.step)
                }
            }
        }
    }

    component SpinStepButton: Button {
        id: stepButton

        property string glyph
        property real glyphOffset: 0
        property int roundedCorner: Qt.AlignTop

        Layout.fillWidth: true
        Layout.fillHeight: true
        focusPolicy: Qt.NoFocus
        padding: 0

        contentItem: Item {
            Text {
                anchors.centerIn: parent
                anchors.verticalCenterOffset: stepButton.glyphOffset
                text: stepButton.glyph
                font.family: root.fontFamily
                font.pixelSize: root.dp(16)
                color: "#606266"
            }
        }

        background: Rectangle {
            color: stepButton.pressed ? "#dcdfe6" : "#F5F7FA"
            radius: root.dp(6)
            Rectangle {
                // keeps every corner square except the one at the frame's outer edge
                color: parent.color
                x: 0
                width: parent.width / 2
                height: parent.height
            }
            Rectangle {
                color: parent.color
                width: parent.width
                height: parent.height / 2
                y: stepButton.roundedCorner === Qt.AlignTop ? parent.height / 2 : 0
            }
        }
    }
}
