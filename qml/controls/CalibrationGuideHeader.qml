import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The top of the calibration guide: title, faces done, and what to do now.
ColumnLayout {
    id: header

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property CalibrationGuide guide

    readonly property int step: guide ? guide.step : -1
    readonly property int doneCount: guide ? guide.doneCount : 0
    readonly property int guideState: guide ? guide.state : CalibrationGuide.Idle
    readonly property bool finished: guideState === CalibrationGuide.Succeeded
    // Fallen silent, or cut off by the link: no longer followed.
    readonly property bool stopped: guideState === CalibrationGuide.TimedOut
                                    || guideState === CalibrationGuide.Interrupted
    // Waiting for a face to be placed or for the result.
    readonly property bool following: !stopped && step >= 1 && step <= 7
    readonly property color progressColor: step >= 7 ? Theme.success : Theme.primary

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    RowLayout {
        Layout.fillWidth: true
        Label {
            objectName: "guideTitle"
            Layout.fillWidth: true
            text: header.zhText("加速度计校准", "Accelerometer Calibration")
            elide: Text.ElideRight
            font.family: header.fontFamily
            font.pixelSize: header.dp(18)
            font.bold: true
            color: Theme.textPrimary
        }
        Label {
            objectName: "progressCounter"
            text: header.doneCount + "/6"
            font.family: header.fontFamily
            font.pixelSize: header.dp(15)
            font.bold: true
            color: header.progressColor
        }
    }

    Rectangle {
        objectName: "progressTrack"
        Layout.fillWidth: true
        Layout.preferredHeight: header.dp(4)
        radius: header.dp(2)
        color: Theme.borderLighter

        Rectangle {
            objectName: "progressFill"
            width: parent.width * header.doneCount / 6
            height: parent.height
            radius: header.dp(2)
            color: header.progressColor
            Behavior on width { NumberAnimation { duration: 300; easing.type: Easing.OutCubic } }
        }
    }

    Rectangle {
        objectName: "statusBox"
        Layout.fillWidth: true
        Layout.preferredHeight: caliStatusLabel.implicitHeight + header.dp(16)
        radius: header.dp(6)
        border.width: 1
        color: header.stopped ? Theme.dangerBackground
             : header.finished ? Theme.successBackground
             : header.following ? Theme.warningBackground : Theme.fieldBackground
        border.color: header.stopped ? Theme.dangerBorder
                    : header.finished ? Theme.successBorder
                    : header.following ? Theme.warningBorder : Theme.borderLight

        Label {
            id: caliStatusLabel
            objectName: "caliStatusLabel"
            anchors.centerIn: parent
            width: parent.width - header.dp(20)
            text: header.guide ? header.guide.instruction : ""
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            font.family: header.fontFamily
            font.pixelSize: header.dp(15)
            font.bold: true
            color: header.stopped ? Theme.danger
                 : header.finished ? Theme.success
                 : header.following ? Theme.warning : Theme.info
        }
    }
}
