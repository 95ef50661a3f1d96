import QtQuick 2.12
import Tavox 1.0

// One face of the accelerometer calibration: its picture, number and name,
// marked completed, current (pulsing) or pending by the guide's last step.
Item {
    id: tile

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property string name
    property int faceIdx
    property string img
    // The guide's last step: -1 none yet, 1 to 6 the face to place, 7 and 8 all placed.
    property int step: -1
    readonly property bool isCompleted: step >= 0 && step > faceIdx
    readonly property bool isCurrent: step >= 0 && step === faceIdx
    readonly property string phase: isCompleted ? "completed" : (isCurrent ? "current" : "pending")
    readonly property color accent: isCompleted ? Theme.success : Theme.warning

    function dp(v) { return v * uiScale }

    Rectangle {
        id: faceRect
        objectName: "faceRect"
        anchors.fill: parent
        radius: tile.dp(10)
        clip: true
        color: tile.isCompleted ? Theme.successBackground : (tile.isCurrent ? Theme.warningBackground : Theme.idleBackground)
        border.width: tile.isCompleted ? tile.dp(2) : (tile.isCurrent ? tile.dp(2.5) : 1)
        border.color: tile.isCompleted || tile.isCurrent ? tile.accent : Theme.borderBase

        Image {
            objectName: "picture"
            anchors.centerIn: parent
            width: tile.width - tile.dp(16)
            height: tile.height - tile.dp(28)
            fillMode: Image.PreserveAspectFit
            source: tile.img
            opacity: tile.isCompleted ? 0.7 : (tile.isCurrent ? 1 : 0.35)
            Behavior on opacity { NumberAnimation { duration: 250 } }
        }

        Rectangle {
            objectName: "badge"
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.margins: tile.dp(5)
            width: tile.dp(20)
            height: tile.dp(20)
            radius: tile.dp(10)
            color: tile.isCompleted || tile.isCurrent ? tile.accent : Theme.textPlaceholder

            Text {
                anchors.centerIn: parent
                text: tile.faceIdx
                color: Theme.cardBackground
                font.family: tile.fontFamily
                font.pixelSize: tile.dp(11)
                font.bold: true
            }
        }

        Rectangle {
            objectName: "checkMark"
            visible: tile.isCompleted
            anchors.centerIn: parent
            anchors.verticalCenterOffset: -tile.dp(2)
            width: tile.dp(28)
            height: tile.dp(28)
            radius: tile.dp(14)
            color: Theme.success
            opacity: 0.95

            Text {
                anchors.centerIn: parent
                text: "✓"
                color: Theme.cardBackground
                font.family: tile.fontFamily
                font.pixelSize: tile.dp(16)
                font.bold: true
            }
        }

        Rectangle {
            objectName: "bottomBar"
            visible: tile.isCompleted || tile.isCurrent
            anchors.bottom: parent.bottom
            width: parent.width
            height: tile.dp(3)
            radius: tile.dp(1)
            color: tile.accent
        }

        Rectangle {
            objectName: "nameTag"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: tile.dp(5)
            width: nameLabel.implicitWidth + tile.dp(12)
            height: nameLabel.implicitHeight + tile.dp(4)
            radius: tile.dp(4)
            color: tile.isCompleted ? Theme.successMuted : (tile.isCurrent ? Theme.warningMuted : Theme.mutedBackground)

            Text {
                id: nameLabel
                objectName: "nameLabel"
                anchors.centerIn: parent
                text: tile.name
                font.family: tile.fontFamily
                font.pixelSize: tile.dp(11)
                font.bold: tile.isCompleted || tile.isCurrent
                color: tile.isCompleted || tile.isCurrent ? tile.accent : Theme.info
            }
        }

        Rectangle {
            objectName: "pulseFrame"
            visible: tile.isCurrent
            anchors.fill: parent
            color: Theme.transparent
            radius: tile.dp(10)
            border.width: tile.dp(2.5)
            border.color: Theme.warning

            SequentialAnimation on opacity {
                running: tile.isCurrent
                loops: Animation.Infinite
                NumberAnimation { from: 1; to: 0.2; duration: 700; easing.type: Easing.InOutQuad }
                NumberAnimation { from: 0.2; to: 1; duration: 700; easing.type: Easing.InOutQuad }
            }
        }
    }
}
