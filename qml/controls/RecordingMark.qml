import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// A red dot and "recording" while the link is being recorded, the file on
// hover. It keeps its room when nothing is recorded, so the link's line
// beside it does not jump when a port opens or closes.
RowLayout {
    id: root

    property var recorder: sessionRecorder
    property string fontFamily: "Source Han Sans SC"
    readonly property bool shown: recorder.recording

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    objectName: "recordingMark"
    spacing: Theme.spacingSmall
    opacity: shown ? 1 : 0
    Accessible.role: Accessible.StaticText
    Accessible.name: shown ? zhText("录制中: %1", "recording: %1").arg(recorder.filePath) : ""
    Accessible.ignored: !shown
    ToolTip.visible: shown && hover.hovered
    ToolTip.text: shown ? recorder.filePath : ""
    HoverHandler { id: hover }

    Rectangle {
        Layout.preferredWidth: Theme.dp(8)
        Layout.preferredHeight: Theme.dp(8)
        radius: Theme.dp(4)
        color: Theme.danger
    }
    Label {
        // As wide as the longer of the two words, whichever language is shown.
        Layout.preferredWidth: Math.max(widest.implicitWidth, implicitWidth)
        text: root.zhText("录制中", "recording")
        font.family: root.fontFamily
        font.pixelSize: Theme.fontSmall
        color: Theme.textSecondary

        Text { id: widest; visible: false; font: parent.font; text: "recording" }
    }
}
