import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// Beside a panel's title: whether the values shown are the controller's, what
// became of the panel's last action, and how many fields the operator changed
// without writing, with a way back.
RowLayout {
    id: bar

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property var edits: null
    // The panel's action whose outcome is shown here.
    property string action
    // Something doubtful about the values shown ("Pitch and Center both on PWM3"), said before the values' age.
    property string warning
    readonly property int editCount: edits ? edits.count : 0
    readonly property int unconfirmedCount: edits ? edits.unconfirmedCount : 0

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The button goes with the edits: the focus moves on to the control after
    // it, the panel's first field, rather than to nowhere; with the ring when
    // the keyboard had brought it to the button.
    function revert(button) {
        var next = button.activeFocus ? button.nextItemInFocusChain(true) : null
        var reason = button.visualFocus ? Qt.TabFocusReason : Qt.OtherFocusReason
        edits.revert()
        if (next)
            next.forceActiveFocus(reason)
    }

    // Only a panel that edits parameters has a state to show. Its line is
    // there, as high as with Revert in it, whether or not anything shows: a
    // status that comes and goes moves no field below under the pointer.
    visible: edits !== null
    Layout.minimumHeight: revertButton.implicitHeight
    spacing: dp(8)

    Label {
        id: valuesNote
        objectName: "valuesNote"
        Layout.fillWidth: true
        text: bar.warning !== "" ? bar.warning : linkMonitor.valuesNote
        horizontalAlignment: Text.AlignRight
        elide: Text.ElideRight
        font.family: bar.fontFamily
        font.pixelSize: bar.dp(13)
        color: bar.warning !== "" ? Theme.danger : linkMonitor.valuesKnown ? Theme.warning : Theme.textSecondary
    }
    StatusLine {
        id: status
        action: bar.action
        uiScale: bar.uiScale
        font.family: bar.fontFamily
    }
    Label {
        objectName: "unconfirmedCount"
        visible: bar.unconfirmedCount > 0
        text: bar.zhText(bar.unconfirmedCount + " 项待读取确认", bar.unconfirmedCount + " to confirm by Read")
        font.family: bar.fontFamily
        font.pixelSize: bar.dp(13)
        color: Theme.primary
    }
    Label {
        objectName: "editCount"
        visible: bar.editCount > 0
        text: edits && edits.madeForOtherController
              ? bar.zhText(bar.editCount + " 项未写入 (为另一台控制器所做)", bar.editCount + " unsaved, made for another controller")
              : bar.zhText(bar.editCount + " 项未写入", bar.editCount + " unsaved")
        font.family: bar.fontFamily
        font.pixelSize: bar.dp(13)
        color: Theme.warning
    }
    Button {
        id: revertButton
        objectName: "revertButton"
        visible: bar.editCount > 0
        flat: true
        padding: bar.dp(2)
        // As high as its words: the style's button would make the line taller than the title beside it.
        implicitWidth: implicitContentWidth + leftPadding + rightPadding
        implicitHeight: implicitContentHeight + topPadding + bottomPadding
        text: bar.zhText("撤销", "Revert")
        font.family: bar.fontFamily
        font.pixelSize: bar.dp(13)
        onClicked: bar.revert(this)
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        FocusRing { shown: parent.visualFocus; uiScale: bar.uiScale }
    }
}
