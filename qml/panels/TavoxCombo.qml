import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0
import "../controls"

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
    // A value the list has no entry for, shown as it is and marked; empty for none.
    property string outsideText

    // Given an entry, the text its tooltip shows on hover; empty for none.
    property var entryHint: null
    // Given an entry, a short note shown dimmed at its right in the list; empty for none.
    property var entryNote: null
    // The open list may be wider than the box, for long entries.
    property real popupWidth: width
    // Where a long entry is shortened, in the box and in the list: entries
    // that differ only at their ends (paths in one folder) want the middle.
    property int entryElide: Text.ElideRight
    // As wide as the widest entry whichever is chosen, so choosing one never
    // moves the controls beside it.
    readonly property real widestEntryWidth: {
        var widest = 0
        var entries = model
        if (entries && entries.length !== undefined) {
            for (var i = 0; i < entries.length; ++i)
                widest = Math.max(widest, entryMetrics.advanceWidth(String(entries[i])))
        }
        return Math.ceil(widest)
    }

    HintToolTip {
        id: hintTip
        wanted: control.hovered && control.hint !== ""
        text: control.hint
    }
    onEditTextChanged: hintTip.dismiss()

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // Named by its purpose where it is used; the value it holds is its content's.
    Accessible.description: hint
    Accessible.onPressAction: popup.visible ? popup.close() : popup.open()

    implicitWidth: widestEntryWidth + leftPadding + rightPadding
    // Space opens the list already (in an editable combo it is typed);
    // Alt+Down and F4 open it as they do in the desktop's own combo boxes.
    // Enter opens it too, and picks from it when open. The list opens when
    // Enter is let go: the combo itself would take that release for a pick
    // and close it again.
    property bool openOnRelease: false
    Keys.onPressed: {
        if (opensList(event)) {
            popup.open()
            event.accepted = true
            return
        }
        // In an editable combo Enter takes the text typed.
        if (!isEnterKey(event.key) || editable)
            return
        openOnRelease = !popup.visible
        event.accepted = openOnRelease
    }
    Keys.onReleased: {
        if (!isEnterKey(event.key) || !openOnRelease)
            return
        openOnRelease = false
        popup.open()
        event.accepted = true
    }
    function isEnterKey(key) { return key === Qt.Key_Return || key === Qt.Key_Enter }
    function opensList(event) {
        return event.key === Qt.Key_F4 || (event.key === Qt.Key_Down && (event.modifiers & Qt.AltModifier))
    }

    FontMetrics {
        id: entryMetrics
        font: control.font
    }

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
        color: Theme.inputBackground
        radius: control.dp(6)
        border.width: control.outsideText !== "" || control.edited || control.unconfirmed ? 2 : 1
        border.color: control.outsideText !== "" ? Theme.danger : control.edited ? Theme.warning
                                                 : control.unconfirmed ? Theme.primary : Theme.borderBase

        FocusRing {
            shown: control.visualFocus
            uiScale: control.uiScale
        }
    }

    contentItem: editable ? editor : shownText

    readonly property Item shownText: Text {
        text: control.blank ? "—" : control.outsideText !== "" ? control.outsideText : control.displayText
        Accessible.role: Accessible.StaticText
        Accessible.name: control.blank ? control.zhText("未读取", "Not read") : text
        font.family: control.fontFamily
        font.pixelSize: control.dp(16)
        color: control.outsideText !== "" ? Theme.danger : control.enabled ? Theme.textRegular : Theme.textPlaceholder
        verticalAlignment: Text.AlignVCenter
        elide: control.entryElide
    }

    // Typing a value of one's own, such as a port's path.
    readonly property Item editor: TextField {
        objectName: "comboEditor"
        Accessible.name: control.Accessible.name
        text: control.editText
        enabled: control.editable
        autoScroll: control.editable
        readOnly: control.down
        selectByMouse: true
        inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
        font.family: control.fontFamily
        font.pixelSize: control.dp(16)
        readonly property color shownColor: control.enabled ? Theme.textRegular : Theme.textPlaceholder
        // Shortened as the list shortens it unless the operator is at work in it.
        color: activeFocus ? shownColor : "transparent"
        selectionColor: Theme.primary
        verticalAlignment: Text.AlignVCenter
        padding: 0
        background: null
        // Back at the path's start for the next edit, once the operator leaves it.
        onTextChanged: if (!activeFocus) cursorPosition = 0
        onActiveFocusChanged: if (!activeFocus) cursorPosition = 0

        Text {
            id: shortEditView
            objectName: "comboShortText"
            anchors.fill: parent
            visible: !parent.activeFocus
            text: shortEditText.elidedText
            font: parent.font
            color: parent.shownColor
            verticalAlignment: Text.AlignVCenter
            TextMetrics {
                id: shortEditText
                font: shortEditView.font
                text: control.editText
                elide: control.entryElide
                elideWidth: shortEditView.width
            }
        }
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
            ctx.fillStyle = Theme.textPlaceholder
            ctx.fill()
        }
    }

    delegate: ItemDelegate {
        id: option
        width: ListView.view ? ListView.view.width : control.width
        height: control.dp(34)
        highlighted: control.highlightedIndex === index
        hoverEnabled: true
        // Also what a screen reader says of the entry; pressed there, it is
        // chosen as by a click.
        text: modelData
        Accessible.selectable: true
        Accessible.selected: control.currentIndex === index
        Accessible.onPressAction: clicked()
        ToolTip.visible: hovered && ToolTip.text !== ""
        ToolTip.text: hovered && control.entryHint ? control.entryHint(modelData) : ""
        ToolTip.delay: 300

        contentItem: Item {
            Text {
                id: entryLabel
                objectName: "entryText"
                anchors.left: parent.left
                anchors.right: entryNoteText.left
                anchors.rightMargin: entryNoteText.text === "" ? 0 : control.dp(6)
                height: parent.height
                text: shortEntry.elidedText
                font.family: control.fontFamily
                font.pixelSize: control.dp(16)
                color: option.highlighted ? Theme.primary : Theme.textRegular
                verticalAlignment: Text.AlignVCenter
                TextMetrics { id: shortEntry; font: entryLabel.font; text: option.text; elide: control.entryElide; elideWidth: entryLabel.width }
            }
            Text {
                id: entryNoteText
                anchors.right: parent.right
                height: parent.height
                text: control.entryNote ? control.entryNote(modelData) : ""
                font.family: control.fontFamily
                font.pixelSize: Theme.fontSmall
                color: Theme.textSecondary
                verticalAlignment: Text.AlignVCenter
            }
        }
        background: Rectangle {
            color: option.highlighted ? Theme.fieldBackground : Theme.inputBackground
        }
    }

    popup: Popup {
        y: control.height
        width: Math.max(control.width, control.popupWidth)
        padding: control.dp(2)
        height: Math.min(optionList.contentHeight + control.dp(4), control.dp(280))

        contentItem: ListView {
            id: optionList
            clip: true
            Accessible.role: Accessible.List
            Accessible.name: control.Accessible.name
            implicitHeight: contentHeight
            // Only instantiate delegates while the list is actually shown.
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            ScrollBar.vertical: ScrollBar {}
        }

        background: Rectangle {
            color: Theme.inputBackground
            radius: control.dp(6)
            border.width: 1
            border.color: Theme.borderBase
        }
    }
}
