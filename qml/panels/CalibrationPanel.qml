import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../dialogs"

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    // The accelerometer calibration this panel starts and its dialog follows.
    property CalibrationGuide guide: calibrationGuide
    // The accelerometer calibration was the last command sent from here: its interruption, if any, is the outcome.
    property bool accelCalibrationLast: false

    readonly property string helpText: zhText(
        "校准: 请按照 停止电机→霍尔校准→加速度计校准→激活→重启 的顺序依次操作。\n"
        + "零点标定: 请按照 停止电机→零点标定→激活→重启 的顺序依次操作。",
        "Calibration: Stop Motor → Hall Calib → Accel Calib → Activate → Restart.\n"
        + "Zero Calib: Stop Motor → Zero Calib → Activate → Restart.")

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

    // Above the guide's dialog, which asks for Restart too.
    ConfirmDialog { id: confirm; z: 1; uiScale: root.uiScale; fontFamily: root.fontFamily }

    MotorServiceDrawer {
        id: motorServiceDrawer
        parent: Overlay.overlay
        uiScale: root.uiScale
        fontFamily: root.fontFamily
    }

    CalibrationGuideDialog {
        id: guideDialog
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        guide: root.guide
        blockedReason: linkMonitor.blockedReason
        onCommandRequested: function(cmd) { root.requestCommand(root.commands[cmd]) }
        onRetryRequested: root.sendCommand(2)
    }

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    Accessible.role: Accessible.Grouping
    Accessible.name: zhText("校准", "Calibration")

    function requestCommand(command) {
        if (command.ask === "") {
            sendCommand(command.cmd)
            return
        }
        confirm.ask(command.t + "?", command.ask, command.t, function() { sendCommand(command.cmd) })
    }

    // The accelerometer calibration goes through the guide, which sends it and follows its progress.
    function sendCommand(cmd) {
        accelCalibrationLast = cmd === 2
        actionFeedback.begin("calibration", ActionFeedback.CommandReply)
        if (cmd === 2)
            guide.start()
        else
            appBridge.tavoxSendCalibration(cmd)
    }

    component SectionLabel: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        font.bold: true
        color: Theme.primary
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.cardBackground
        radius: dp(10)
        border.width: 1
        border.color: Theme.borderLight

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
                    color: Theme.textRegular
                    lineHeight: 1.3
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: Theme.borderLight
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

                    // The controller answered the first face, which the action's feedback took for done: a
                    // run the link cut off says so instead, even while the port is away.
                    StatusLine {
                        Layout.fillWidth: true
                        visible: !interruptionLine.visible
                        action: "calibration"
                        uiScale: root.uiScale
                    }
                    Label {
                        id: interruptionLine
                        objectName: "calibrationInterruption"
                        Layout.fillWidth: true
                        Layout.preferredHeight: Math.ceil(font.pixelSize * 1.5)
                        visible: text !== ""
                        text: root.accelCalibrationLast && root.guide ? root.guide.interruption : ""
                        elide: Text.ElideRight
                        font.pixelSize: 13 * root.uiScale
                        color: Theme.danger
                        Accessible.name: text
                    }

                    TavoxButton {
                        objectName: "motorServiceButton"
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        Layout.fillWidth: true
                        Layout.preferredHeight: dp(34)
                        text: zhText("电机维护…", "Motor service…")
                        onClicked: motorServiceDrawer.open()
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
