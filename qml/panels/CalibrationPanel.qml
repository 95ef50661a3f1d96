import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    property bool accelCaliActive: false
    property int caliState: -1
    readonly property string helpText: zhText(
        "校准: 请按照 停止电机→霍尔校准→加速度计校准→激活→重启 的顺序依次操作。\n"
        + "零点标定: 请按照 停止电机→零点标定→激活→重启 的顺序依次操作。",
        "Calibration: Stop Motor → Hall Calib → Accel Calib → Activate → Restart.\n"
        + "Zero Calib: Stop Motor → Zero Calib → Activate → Restart.")
    readonly property int doneCount: Math.max(0, Math.min(caliState - 1, 6))

    property Timer caliDoneTimer: Timer {
        interval: 5000
        repeat: false
        onTriggered: {
            root.accelCaliActive = false
            root.caliState = -1
        }
    }

    // `ask`: what the operator confirms first, for commands that stop, move or restart the gimbal.
    readonly property var commands: [
        { t: zhText("停止电机", "Stop Motor"), cmd: 0,
          ask: zhText("电机会立即停止，云台失去稳定。", "The motors stop at once and the gimbal stops stabilising.") },
        { t: zhText("霍尔校准", "Hall Calib"), cmd: 1,
          ask: zhText("霍尔校准时电机会转动，请让云台可以自由转动。", "The motors turn during the hall calibration; let the gimbal move freely.") },
        { t: zhText("加速度计校准", "Accel Calib"), cmd: 2,
          ask: zhText("开始六面加速度计校准，需要按提示依次摆放设备。", "Starts the six-face accelerometer calibration; you will place the device face by face.") },
        { t: zhText("激活", "Activate"), cmd: 3, ask: "" },
        { t: zhText("重启", "Restart"), cmd: 4,
          ask: zhText("控制器会重启，电机会短暂停止。", "The controller restarts; its motors stop for a moment.") },
        { t: zhText("零点标定", "Zero Calib"), cmd: 5,
          ask: zhText("零点标定会把当前姿态设为零点，请先将云台摆正。", "The zero calibration takes the present attitude as zero; level the gimbal first.") }
    ]

    readonly property var faces: [
        { name: zhText("正放(上)", "Up"), idx: 1, img: "qrc:/icon/png/TAVOX/1.png" },
        { name: zhText("前", "Front"), idx: 2, img: "qrc:/icon/png/TAVOX/2.png" },
        { name: zhText("倒放(下)", "Down"), idx: 3, img: "qrc:/icon/png/TAVOX/3.png" },
        { name: zhText("后", "Back"), idx: 4, img: "qrc:/icon/png/TAVOX/4.png" },
        { name: zhText("左", "Left"), idx: 5, img: "qrc:/icon/png/TAVOX/5.png" },
        { name: zhText("右", "Right"), idx: 6, img: "qrc:/icon/png/TAVOX/6.png" }
    ]

    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function requestCommand(command) {
        if (command.ask === "") {
            sendCommand(command.cmd)
            return
        }
        confirm.ask(command.t + "?", command.ask, command.t, function() { sendCommand(command.cmd) })
    }

    function sendCommand(cmd) {
        actionFeedback.begin("calibration", ActionFeedback.CommandReply)
        appBridge.tavoxSendCalibration(cmd)
        if (cmd === 2) {
            caliState = -1
            accelCaliActive = true
            caliDoneTimer.stop()
            Qt.callLater(revealCurrentStep)
        }
    }

    // At the smallest window the progress section is taller than the panel: keep
    // the face to place in view, with the counter above or the status below it.
    function revealCurrentStep() {
        if (!accelCaliActive)
            return
        var flick = calScrollView.contentItem
        var top = caliProgressSection.mapToItem(flick.contentItem, 0, 0).y
        var bottom = statusBox.mapToItem(flick.contentItem, 0, statusBox.height).y
        var face = caliState >= 1 && caliState <= 6 ? faceRepeater.itemAt(caliState - 1) : null
        if (face && face.mapToItem(flick.contentItem, 0, face.height).y - top > flick.height)
            top = face.mapToItem(flick.contentItem, 0, 0).y
        else if (caliState > 6)
            top = statusBox.mapToItem(flick.contentItem, 0, 0).y
        flick.contentY = bottom - top <= flick.height ? Math.max(bottom - flick.height, Math.min(flick.contentY, top))
                                                      : top
    }

    function statusText() {
        if (!accelCaliActive)
            return ""
        if (caliState < 0)
            return zhText("○ 等待设备响应...", "○ Waiting for device...")
        switch (caliState) {
        case 1: return zhText("● 请将设备正放（上）面朝上", "● Place device UP")
        case 2: return zhText("● 请将设备朝前放置", "● Place device FRONT")
        case 3: return zhText("● 请将设备倒放（下）面朝上", "● Place device DOWN")
        case 4: return zhText("● 请将设备朝后放置", "● Place device BACK")
        case 5: return zhText("● 请将设备朝左放置", "● Place device LEFT")
        case 6: return zhText("● 请将设备朝右放置", "● Place device RIGHT")
        case 7: return zhText("○ 正在计算校准参数...", "○ Calculating...")
        case 8: return zhText("✓ 校准完成！请点击 激活 → 重启", "✓ Done! Click Activate → Restart")
        default: return ""
        }
    }

    Connections {
        target: appBridge
        // Progress is only followed for a calibration started from this panel.
        function onAccelCaliStateChanged() {
            if (!root.accelCaliActive)
                return
            var step = appBridge.accelCaliState
            if (step < 1 || step > 8)
                return
            root.caliState = step
            Qt.callLater(root.revealCurrentStep)
            if (step === 8)
                root.caliDoneTimer.start()
        }
    }

    component SectionLabel: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        font.bold: true
        color: "#409EFF"
    }

    component FaceTile: Item {
        id: tile

        property string name
        property int faceIdx
        property string img
        readonly property int cs: root.caliState
        readonly property bool isCompleted: cs >= 0 && cs > faceIdx
        readonly property bool isCurrent: cs >= 0 && cs === faceIdx
        readonly property string phase: isCompleted ? "completed" : (isCurrent ? "current" : "pending")

        Layout.fillWidth: true
        Layout.preferredHeight: width

        Rectangle {
            id: faceRect
            objectName: "faceRect"
            anchors.fill: parent
            radius: root.dp(10)
            clip: true
            color: tile.isCompleted ? "#F0F9EB" : (tile.isCurrent ? "#FDF6EC" : "#FAFAFA")
            border.width: tile.isCompleted ? root.dp(2) : (tile.isCurrent ? root.dp(2.5) : 1)
            border.color: tile.isCompleted ? "#67C23A" : (tile.isCurrent ? "#E6A23C" : "#DCDFE6")

            Image {
                objectName: "picture"
                anchors.centerIn: parent
                width: tile.width - root.dp(16)
                height: tile.height - root.dp(28)
                fillMode: Image.PreserveAspectFit
                source: tile.img
                opacity: tile.isCompleted ? 0.7 : (tile.isCurrent ? 1 : 0.35)
                Behavior on opacity { NumberAnimation { duration: 250 } }
            }

            Rectangle {
                objectName: "badge"
                anchors.left: parent.left
                anchors.top: parent.top
                anchors.margins: root.dp(5)
                width: root.dp(20)
                height: root.dp(20)
                radius: root.dp(10)
                color: tile.isCompleted ? "#67C23A" : (tile.isCurrent ? "#E6A23C" : "#C0C4CC")

                Text {
                    anchors.centerIn: parent
                    text: tile.faceIdx
                    color: "white"
                    font.family: root.fontFamily
                    font.pixelSize: root.dp(11)
                    font.bold: true
                }
            }

            Rectangle {
                objectName: "checkMark"
                visible: tile.isCompleted
                anchors.centerIn: parent
                anchors.verticalCenterOffset: -root.dp(2)
                width: root.dp(28)
                height: root.dp(28)
                radius: root.dp(14)
                color: "#67C23A"
                opacity: 0.95

                Text {
                    anchors.centerIn: parent
                    text: "✓"
                    color: "white"
                    font.family: root.fontFamily
                    font.pixelSize: root.dp(16)
                    font.bold: true
                }
            }

            Rectangle {
                objectName: "bottomBar"
                visible: tile.isCompleted || tile.isCurrent
                anchors.bottom: parent.bottom
                width: parent.width
                height: root.dp(3)
                radius: root.dp(1)
                color: tile.isCompleted ? "#67C23A" : "#E6A23C"
            }

            Rectangle {
                objectName: "nameTag"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: root.dp(5)
                width: nameLabel.implicitWidth + root.dp(12)
                height: nameLabel.implicitHeight + root.dp(4)
                radius: root.dp(4)
                color: tile.isCompleted ? "#E1F3D8" : (tile.isCurrent ? "#FAECD8" : "#F0F2F5")

                Text {
                    id: nameLabel
                    objectName: "nameLabel"
                    anchors.centerIn: parent
                    text: tile.name
                    font.family: root.fontFamily
                    font.pixelSize: root.dp(11)
                    font.bold: tile.isCompleted || tile.isCurrent
                    color: tile.isCompleted ? "#67C23A" : (tile.isCurrent ? "#E6A23C" : "#909399")
                }
            }

            Rectangle {
                objectName: "pulseFrame"
                visible: tile.isCurrent
                anchors.fill: parent
                color: "transparent"
                radius: root.dp(10)
                border.width: root.dp(2.5)
                border.color: "#E6A23C"

                SequentialAnimation on opacity {
                    running: tile.isCurrent
                    loops: Animation.Infinite
                    NumberAnimation { from: 1; to: 0.2; duration: 700; easing.type: Easing.InOutQuad }
                    NumberAnimation { from: 0.2; to: 1; duration: 700; easing.type: Easing.InOutQuad }
                }
            }
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "white"
        radius: dp(10)
        border.width: 1
        border.color: "#e4e7ed"

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            ColumnLayout {
                Layout.fillWidth: true
                Layout.margins: dp(14)
                spacing: dp(6)

                Label {
                    text: zhText("校准", "Calibration")
                    font.family: root.fontFamily
                    font.pixelSize: dp(18)
                    font.bold: true
                }
                Label {
                    objectName: "helpLabel"
                    Layout.fillWidth: true
                    text: root.helpText
                    wrapMode: Text.WordWrap
                    font.family: root.fontFamily
                    font.pixelSize: dp(14)
                    color: "#606266"
                    lineHeight: 1.3
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: "#e4e7ed"
                }
            }

            ScrollView {
                id: calScrollView
                objectName: "calScrollView"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                ScrollBar.vertical.policy: ScrollBar.AsNeeded
                contentHeight: content.height + dp(6)

                ColumnLayout {
                    id: content
                    x: dp(14)
                    y: dp(6)
                    width: calScrollView.width - dp(28)
                    spacing: dp(8)

                    SectionLabel { text: zhText("基础校准", "Basic") }

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 3
                        rowSpacing: dp(6)
                        columnSpacing: dp(6)

                        Repeater {
                            model: root.commands
                            DeviceButton {
                                name: "calibButton" + modelData.cmd
                                uiScale: root.uiScale
                                fontFamily: root.fontFamily
                                Layout.fillWidth: true
                                Layout.minimumWidth: dp(80)
                                Layout.preferredHeight: dp(34)
                                text: modelData.t
                                blockedReason: linkMonitor.blockedReason
                                onClicked: root.requestCommand(modelData)
                            }
                        }
                    }

                    StatusLine {
                        Layout.fillWidth: true
                        action: "calibration"
                        uiScale: root.uiScale
                    }

                    ColumnLayout {
                        id: caliProgressSection
                        objectName: "caliProgressSection"
                        Layout.fillWidth: true
                        spacing: dp(8)
                        visible: root.accelCaliActive

                        RowLayout {
                            Layout.fillWidth: true
                            SectionLabel { text: zhText("校准进度", "Calibration Progress") }
                            Item { Layout.fillWidth: true }
                            Label {
                                objectName: "progressCounter"
                                text: root.doneCount + "/6"
                                font.family: root.fontFamily
                                font.pixelSize: dp(13)
                                font.bold: true
                                color: root.caliState >= 7 ? "#67C23A" : "#409EFF"
                            }
                        }

                        Rectangle {
                            Layout.fillWidth: true
                            Layout.preferredHeight: dp(4)
                            radius: dp(2)
                            color: "#EBEEF5"

                            Rectangle {
                                objectName: "progressFill"
                                width: parent.width * root.doneCount / 6
                                height: parent.height
                                radius: dp(2)
                                color: root.caliState >= 7 ? "#67C23A" : "#409EFF"
                                Behavior on width { NumberAnimation { duration: 300; easing.type: Easing.OutCubic } }
                            }
                        }

                        GridLayout {
                            Layout.fillWidth: true
                            columns: 3
                            rowSpacing: dp(10)
                            columnSpacing: dp(10)

                            Repeater {
                                id: faceRepeater
                                model: root.faces
                                FaceTile {
                                    objectName: "face" + modelData.idx
                                    name: modelData.name
                                    faceIdx: modelData.idx
                                    img: modelData.img
                                }
                            }
                        }

                        Rectangle {
                            id: statusBox
                            objectName: "statusBox"
                            Layout.fillWidth: true
                            Layout.preferredHeight: caliStatusLabel.height + dp(12)
                            radius: dp(6)
                            border.width: 1
                            color: root.caliState === 8 ? "#F0F9EB"
                                                        : (root.caliState >= 1 && root.caliState <= 7 ? "#FDF6EC" : "#F5F7FA")
                            border.color: root.caliState === 8 ? "#B3E19D"
                                                               : (root.caliState >= 1 && root.caliState <= 7 ? "#F5DAB1" : "#E4E7ED")

                            Label {
                                id: caliStatusLabel
                                objectName: "caliStatusLabel"
                                anchors.centerIn: parent
                                width: parent.width - dp(20)
                                text: root.statusText()
                                wrapMode: Text.WordWrap
                                horizontalAlignment: Text.AlignHCenter
                                font.family: root.fontFamily
                                font.pixelSize: dp(13)
                                font.bold: true
                                color: root.caliState === 8 ? "#67C23A"
                                                            : (root.caliState >= 1 && root.caliState <= 7 ? "#E6A23C" : "#909399")
                            }
                        }
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
