import QtQuick 2.12
import QtQuick.Controls 2.12

ComboBox {
    id: control

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    // Qt's ComboBox selects the first entry whenever its model is replaced.
    // A re-translated option list must keep the operator's choice instead;
    // a list of different things (such as serial ports) can opt out.
    property bool keepIndexOnNewModel: true
    property int chosenIndex: -1
    property bool replacingModel: false
    // No controller value yet: show a dash, not a guess.
    property bool blank: false
    // Changed by the operator and not written; `hint` names the controller's value.
    property bool edited: false
    // Written and not yet read back from the controller.
    property bool unconfirmed: false
    property string hint

    ToolTip.visible: hovered && hint !== ""
    ToolTip.text: hint
    ToolTip.delay: 300

    function dp(v) { return v * uiScale }

    onDelegateModelChanged: replacingModel = true
    onCurrentIndexChanged: {
        if (!replacingModel)
            chosenIndex = currentIndex
    }
    onModelChanged: {
        if (!replacingModel)
            return
        replacingModel = false
        if (keepIndexOnNewModel && currentIndex !== chosenIndex)
            currentIndex = chosenIndex
        else
            chosenIndex = currentIndex
    }

    font.family: fontFamily
    font.pixelSize: dp(16)
    leftPadding: dp(12)
    rightPadding: dp(30)

    background: Rectangle {
        color: "white"
        radius: control.dp(6)
        border.width: control.edited || control.unconfirmed ? 2 : 1
        border.color: control.edited ? "#E6A23C" : control.unconfirmed ? "#409EFF" : "#dcdfe6"
    }

    contentItem: Text {
        text: control.blank ? "—" : control.displayText
        font.family: control.fontFamily
        font.pixelSize: control.dp(16)
        color: control.enabled ? "#606266" : "#C0C4CC"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    indicator: Canvas {
        x: control.width - width - control.dp(10)
        y: control.topPadding + (control.availableHeight - height) / 2
        width: control.dp(12)
        height: control.dp(8)
        contextType: "2d"

        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            ctx.beginPath()
            ctx.moveTo(0, 0)
            ctx.lineTo(width, 0)
            ctx.lineTo(width / 2, height)
            ctx.closePath()
            ctx.fillStyle = "#C0C4CC"
            ctx.fill()
        }
    }

    delegate: ItemDelegate {
        id: option
        width: ListView.view ? ListView.view.width : control.width
        height: control.dp(34)
        highlighted: control.highlightedIndex === index

        contentItem: Text {
            text: modelData
            font.family: control.fontFamily
            font.pixelSize: control.dp(16)
            color: option.highlighted ? "#409EFF" : "#606266"
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        background: Rectangle {
            color: option.highlighted ? "#F5F7FA" : "white"
        }
    }

    popup: Popup {
        y: control.height
        width: control.width
        padding: control.dp(2)
        height: Math.min(optionList.contentHeight + control.dp(4), control.dp(280))

        contentItem: ListView {
            id: optionList
            clip: true
            implicitHeight: contentHeight
            // Only instantiate delegates while the list is actually shown.
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            ScrollBar.vertical: ScrollBar {}
        }

        background: Rectangle {
            color: "white"
            radius: control.dp(6)
            border.width: 1
            border.color: "#dcdfe6"
        }
    }
}
