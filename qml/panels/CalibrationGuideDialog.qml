import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The accelerometer calibration, one step at a time: what to do now, the six
// faces, the progress and the buttons, all in view at once at every window
// size. Open while the guide is; closing it (Cancel, Close or Escape) ends the guide.
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
    // Activating or restarting in the middle of a calibration would spoil it.
    readonly property string afterResultReason: blockedReason !== "" ? blockedReason
        : finished ? "" : zhText("校准完成后可用", "Available once the calibration is done")
    readonly property color progressColor: step >= 7 ? Theme.success : Theme.primary

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
    closePolicy: Popup.CloseOnEscape
    padding: dp(20)

    background: Rectangle {
        color: Theme.cardBackground
        radius: dialog.dp(10)
        border.width: 1
        border.color: Theme.borderBase
    }

    contentItem: ColumnLayout {
        spacing: dialog.dp(12)

        RowLayout {
            Layout.fillWidth: true
            Label {
                objectName: "guideTitle"
                Layout.fillWidth: true
                text: dialog.zhText("加速度计校准", "Accelerometer Calibration")
                elide: Text.ElideRight
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(18)
                font.bold: true
                color: Theme.textPrimary
            }
            Label {
                objectName: "progressCounter"
                text: (dialog.guide ? dialog.guide.doneCount : 0) + "/6"
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(15)
                font.bold: true
                color: dialog.progressColor
            }
        }

        Rectangle {
            objectName: "progressTrack"
            Layout.fillWidth: true
            Layout.preferredHeight: dialog.dp(4)
            radius: dialog.dp(2)
            color: Theme.borderLighter

            Rectangle {
                objectName: "progressFill"
                width: parent.width * (dialog.guide ? dialog.guide.doneCount : 0) / 6
                height: parent.height
                radius: dialog.dp(2)
                color: dialog.progressColor
                Behavior on width { NumberAnimation { duration: 300; easing.type: Easing.OutCubic } }
            }
        }

        Rectangle {
            id: statusBox
            objectName: "statusBox"
            readonly property bool following: dialog.step >= 1 && dialog.step <= 7
            Layout.fillWidth: true
            Layout.preferredHeight: caliStatusLabel.implicitHeight + dialog.dp(16)
            radius: dialog.dp(6)
            border.width: 1
            color: dialog.timedOut ? Theme.dangerBackground
                 : dialog.finished ? Theme.successBackground
                 : following ? Theme.warningBackground : Theme.fieldBackground
            border.color: dialog.timedOut ? Theme.dangerBorder
                        : dialog.finished ? Theme.successBorder
                        : following ? Theme.warningBorder : Theme.borderLight

            Label {
                id: caliStatusLabel
                objectName: "caliStatusLabel"
                anchors.centerIn: parent
                width: parent.width - dialog.dp(20)
                text: dialog.guide ? dialog.guide.instruction : ""
                wrapMode: Text.WordWrap
                horizontalAlignment: Text.AlignHCenter
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(15)
                font.bold: true
                color: dialog.timedOut ? Theme.danger
                     : dialog.finished ? Theme.success
                     : statusBox.following ? Theme.warning : Theme.info
            }
        }

        // The tiles take the largest square size at which all six fit.
        Item {
            id: faceArea
            objectName: "faceArea"
            Layout.fillWidth: true
            Layout.fillHeight: true
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
            Layout.fillWidth: true
            spacing: dialog.dp(10)

            Button {
                objectName: "guideCloseButton"
                Layout.preferredHeight: dialog.dp(36)
                text: dialog.finished ? dialog.zhText("关闭", "Close") : dialog.zhText("取消", "Cancel")
                font.family: dialog.fontFamily
                font.pixelSize: dialog.dp(15)
                onClicked: dialog.close()
            }
            DeviceButton {
                name: "guideRetryButton"
                visible: dialog.timedOut
                Layout.preferredHeight: dialog.dp(36)
                uiScale: dialog.uiScale
                fontFamily: dialog.fontFamily
                text: dialog.zhText("重试", "Retry")
                blockedReason: dialog.blockedReason
                onClicked: dialog.retryRequested()
            }
            Item { Layout.fillWidth: true }
            DeviceButton {
                name: "guideActivateButton"
                Layout.preferredHeight: dialog.dp(36)
                uiScale: dialog.uiScale
                fontFamily: dialog.fontFamily
                text: dialog.zhText("激活", "Activate")
                blockedReason: dialog.afterResultReason
                onClicked: dialog.commandRequested(3)
            }
            DeviceButton {
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
