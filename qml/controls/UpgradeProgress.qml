import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The chosen file, how far the upgrade has come, and how it ended: one place
// for all three, so the panel keeps its height through an upgrade.
ColumnLayout {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    spacing: dp(8)

    Label {
        objectName: "fileInfo"
        Layout.fillWidth: true
        visible: upgradeMonitor.fileName !== "" && upgradeMonitor.phase === UpgradeMonitor.Idle
                 && upgradeMonitor.result === UpgradeMonitor.NoResult
        text: upgradeMonitor.fileName + "  ·  " + (upgradeMonitor.fileProblem !== "" ? upgradeMonitor.fileProblem
                                                                                       : upgradeMonitor.fileSizeText)
        elide: Text.ElideMiddle
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: upgradeMonitor.fileProblem !== "" ? Theme.danger : Theme.textSecondary
    }

    RowLayout {
        objectName: "progressRow"
        Layout.fillWidth: true
        // The result says how the upgrade ended, in the progress bar's place.
        visible: !resultBanner.visible
        spacing: root.dp(8)

        Label {
            text: root.zhText("进度", "Progress")
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
        }
        ProgressBar {
            id: progressBar
            objectName: "progressBar"
            Accessible.name: root.zhText("升级进度", "Upgrade progress")
            Layout.fillWidth: true
            from: 0
            to: 100
            value: upgradeMonitor.progress

            background: Rectangle {
                implicitHeight: root.dp(8)
                radius: root.dp(4)
                color: Theme.borderLight
            }
            contentItem: Item {
                implicitHeight: root.dp(8)
                Rectangle {
                    objectName: "progressFill"
                    width: progressBar.visualPosition * parent.width
                    height: parent.height
                    radius: root.dp(4)
                    color: Theme.primary
                }
            }
        }
        Label {
            objectName: "progressText"
            Layout.preferredWidth: root.dp(40)
            text: upgradeMonitor.progress + "%"
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
            color: appBridge.tavoxUpgrading ? Theme.primary : Theme.textRegular
        }
    }

    Label {
        objectName: "phaseText"
        Layout.fillWidth: true
        visible: text !== ""
        text: upgradeMonitor.phaseText
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: Theme.primary
    }

    Rectangle {
        id: resultBanner
        objectName: "resultBanner"
        readonly property bool succeeded: upgradeMonitor.result === UpgradeMonitor.Succeeded
        readonly property bool cancelled: upgradeMonitor.result === UpgradeMonitor.Cancelled
        Layout.fillWidth: true
        visible: upgradeMonitor.result !== UpgradeMonitor.NoResult && upgradeMonitor.phase === UpgradeMonitor.Idle
        implicitHeight: resultLabel.implicitHeight + root.dp(8)
        radius: root.dp(6)
        color: succeeded ? Theme.successBackground : cancelled ? Theme.warningBackground : Theme.dangerBackground
        border.width: 1
        border.color: succeeded ? Theme.successBorder : cancelled ? Theme.warningBorder : Theme.dangerBorder

        Label {
            id: resultLabel
            objectName: "resultText"
            anchors.fill: parent
            anchors.margins: root.dp(4)
            text: upgradeMonitor.resultText
            wrapMode: Text.WordWrap
            font.family: root.fontFamily
            font.pixelSize: root.dp(13)
            color: parent.succeeded ? Theme.success : parent.cancelled ? Theme.warning : Theme.danger
        }
    }
}
