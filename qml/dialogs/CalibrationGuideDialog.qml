import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"

// The accelerometer calibration, one step at a time: what to do now, the six
// faces, the progress and the buttons, all in view at once at every window
// size. Open while the guide is; closing it (Cancel, Close or Escape) ends the guide.
// The keyboard starts on Cancel: Activate and Restart are reached by Tab or the arrows.
Popup {
    id: dialog

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property CalibrationGuide guide
    // Empty when the controller can be asked; otherwise why not.
    property string blockedReason
    // Activate (3) or Restart (4), run as the panel runs its buttons.
    signal commandRequested(int cmd)
    signal retryRequested()

    readonly property int step: guide ? guide.step : -1
    readonly property int guideState: guide ? guide.state : CalibrationGuide.Idle
    readonly property bool finished: guideState === CalibrationGuide.Succeeded
    readonly property bool timedOut: guideState === CalibrationGuide.TimedOut
    readonly property bool interrupted: guideState === CalibrationGuide.Interrupted
    // Activating or restarting in the middle of a calibration would spoil it.
    readonly property string afterResultReason: blockedReason !== "" ? blockedReason
        : finished ? "" : zhText("校准完成后可用", "Available once the calibration is done")

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function followGuide() {
        if (guide && guide.active && !opened)
            open()
        else if ((!guide || !guide.active) && (opened || visible))
            close()
    }

    Connections {
        target: dialog.guide
        function onChanged() { dialog.followGuide() }
    }
    onGuideChanged: followGuide()
    onClosed: {
        if (guide && guide.active)
            guide.close()
    }
    onOpened: content.start()
    FocusReturn { popup: dialog; byKeyboard: content.keyboardUsed }

    readonly property var faces: [
        { name: zhText("正放(上)", "Up"), idx: 1, img: "qrc:/icon/png/TAVOX/1.png" },
        { name: zhText("前", "Front"), idx: 2, img: "qrc:/icon/png/TAVOX/2.png" },
        { name: zhText("倒放(下)", "Down"), idx: 3, img: "qrc:/icon/png/TAVOX/3.png" },
        { name: zhText("后", "Back"), idx: 4, img: "qrc:/icon/png/TAVOX/4.png" },
        { name: zhText("左", "Left"), idx: 5, img: "qrc:/icon/png/TAVOX/5.png" },
        { name: zhText("右", "Right"), idx: 6, img: "qrc:/icon/png/TAVOX/6.png" }
    ]

    objectName: "calibrationGuideDialog"
    parent: Overlay.overlay
    readonly property real margin: dp(20)
    width: parent ? Math.min(parent.width - 2 * margin, dp(760)) : dp(760)
    height: parent ? Math.min(parent.height - 2 * margin, dp(720)) : dp(720)
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    modal: true
    focus: true
    // Escape is the guide's own key, so that it counts as the keyboard's answer.
    closePolicy: Popup.NoAutoClose
    padding: dp(20)

    background: Rectangle {
        color: Theme.cardBackground
        radius: dialog.dp(10)
        border.width: 1
        border.color: Theme.borderBase
    }

    // Anchored, not one layout from top to bottom: a layout changed while the
    // dialog is closed (another language, another window size) is not redone
    // when it opens again, and the faces would keep a stale size.
    contentItem: QuestionScope {
        id: content
        readonly property real spacing: dialog.dp(12)
        focus: true
        answers: [closeButton, retryButton.control, activateButton.control, restartButton.control]
        onEscaped: dialog.close()

        CalibrationGuideHeader {
            id: header
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            spacing: content.spacing
            uiScale: dialog.uiScale
            fontFamily: dialog.fontFamily
            guide: dialog.guide
        }

        // The tiles take the largest square size at which all six fit.
        Item {
            id: faceArea
            objectName: "faceArea"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: header.bottom
            anchors.bottom: buttons.top
            anchors.topMargin: content.spacing
            anchors.bottomMargin: content.spacing
            readonly property real spacing: dialog.dp(10)
            readonly property real tileSize: Math.max(0, Math.min((width - 2 * spacing) / 3, (height - spacing) / 2))

            Grid {
                anchors.centerIn: parent
                columns: 3
                spacing: faceArea.spacing

                Repeater {
                    model: dialog.faces
                    CalibrationFaceTile {
                        objectName: "face" + modelData.idx
                        width: faceArea.tileSize
                        height: faceArea.tileSize
                        uiScale: dialog.uiScale
                        fontFamily: dialog.fontFamily
                        name: modelData.name
                        faceIdx: modelData.idx
                        img: modelData.img
                        step: dialog.step
                    }
                }
            }
        }

        RowLayout {
            id: buttons
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            spacing: dialog.dp(10)

            DialogButton {
                id: closeButton
                objectName: "guideCloseButton"
                question: content
                uiScale: dialog.uiScale
                // Nothing is left to cancel once the link has cut the run off.
                text: dialog.finished || dialog.interrupted ? dialog.zhText("关闭", "Close") : dialog.zhText("取消", "Cancel")
                font.family: dialog.fontFamily
                onClicked: dialog.close()
            }
            DeviceButton {
                id: retryButton
                name: "guideRetryButton"
                visible: dialog.timedOut || dialog.interrupted
                Layout.preferredHeight: dialog.dp(36)
                uiScale: dialog.uiScale
                fontFamily: dialog.fontFamily
                text: dialog.zhText("重试", "Retry")
                blockedReason: dialog.blockedReason
                onClicked: dialog.retryRequested()
            }
            Item { Layout.fillWidth: true }
            DeviceButton {
                id: activateButton
                name: "guideActivateButton"
                Layout.preferredHeight: dialog.dp(36)
                uiScale: dialog.uiScale
                fontFamily: dialog.fontFamily
                text: dialog.zhText("激活", "Activate")
                blockedReason: dialog.afterResultReason
                onClicked: dialog.commandRequested(3)
            }
            DeviceButton {
                id: restartButton
                name: "guideRestartButton"
                Layout.preferredHeight: dialog.dp(36)
                uiScale: dialog.uiScale
                fontFamily: dialog.fontFamily
                text: dialog.zhText("重启", "Restart")
                blockedReason: dialog.afterResultReason
                onClicked: dialog.commandRequested(4)
            }
        }
    }
}
