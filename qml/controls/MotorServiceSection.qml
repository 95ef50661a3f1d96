import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../dialogs"

// The per-motor service commands: a test torque on each frame's motor while
// its button is held, each frame's hall and electrical-angle calibration, the
// choice of hall data, the linearisation and the gyroscope bias update. What
// may be sent, and when a held torque is cleared, is the service's to decide.
ColumnLayout {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property MotorService service: motorService
    // Empty when commands may go to the controller; otherwise why not.
    property string blockedReason: linkMonitor.blockedReason

    readonly property var frames: [
        { motor: MotorService.Outer, name: zhText("外框架", "Outer"), title: zhText("外框架电机", "outer frame motor") },
        { motor: MotorService.Middle, name: zhText("中框架", "Middle"), title: zhText("中框架电机", "middle frame motor") },
        { motor: MotorService.Inner, name: zhText("内框架", "Inner"), title: zhText("内框架电机", "inner frame motor") }
    ]
    readonly property real buttonHeight: dp(34)

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The first hold of the run asks; the operator holds again to turn the motor.
    function requestHold(motor, direction) {
        if (service.torqueTestConfirmed) {
            actionFeedback.begin("motorService", ActionFeedback.CommandReply)
            service.hold(motor, direction)
            return
        }
        confirm.ask(function() { return zhText("测试电机？", "Test the motors?") },
                    function() {
                        return zhText("按住“正向”或“反向”时，该框架的电机以测试力矩转动，松开即停止。"
                                      + "请让手、线缆和螺旋桨远离云台。确认后再次按住按钮即可转动。",
                                      "While you hold Fwd or Rev, that frame's motor turns with a test torque; it "
                                      + "stops when you let go. Keep hands, cables and propellers clear of the gimbal. "
                                      + "Once confirmed, press and hold again to turn the motor.")
                    },
                    function() { return zhText("我已了解", "I understand") },
                    function() { service.confirmTorqueTest() })
    }

    // `ask`: what the operator confirms first; empty for a command that moves nothing.
    function request(title, ask, action) {
        var run = function() {
            actionFeedback.begin("motorService", ActionFeedback.CommandReply)
            action()
        }
        if (ask === "")
            run()
        else
            confirm.ask(title + "?", ask, title, run)
    }

    spacing: dp(6)

    ConfirmDialog {
        id: confirm
        objectName: "motorConfirmDialog"
        z: 1
        uiScale: root.uiScale
        fontFamily: root.fontFamily
    }

    component Heading: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: Theme.textSecondary
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
    }

    component CommandButton: DeviceButton {
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        Layout.fillWidth: true
        Layout.minimumWidth: root.dp(44)
        Layout.preferredHeight: root.buttonHeight
        blockedReason: root.blockedReason
    }

    GridLayout {
        objectName: "motorGrid"
        Layout.fillWidth: true
        columns: 6
        rowSpacing: dp(6)
        columnSpacing: dp(6)

        Item { Layout.preferredWidth: 1 }
        Heading {
            text: zhText("测试力矩(按住)", "Test torque (hold)")
            Layout.columnSpan: 2
            Layout.fillWidth: true
            Layout.preferredWidth: 2
        }
        Heading {
            text: zhText("霍尔", "Hall")
            Layout.fillWidth: true
            Layout.preferredWidth: 1
        }
        Heading {
            text: zhText("电角度校准", "Electrical angle")
            Layout.columnSpan: 2
            Layout.fillWidth: true
            Layout.preferredWidth: 2
        }

        Repeater {
            model: root.frames
            delegate: Label {
                Layout.row: index + 1
                Layout.column: 0
                text: modelData.name
                font.family: root.fontFamily
                font.pixelSize: root.dp(14)
                color: Theme.textRegular
            }
        }
        Repeater {
            model: root.frames
            delegate: HoldButton {
                name: "motorForward" + modelData.motor
                Layout.row: index + 1
                Layout.column: 1
                Layout.fillWidth: true
                Layout.minimumWidth: root.dp(44)
                Layout.preferredHeight: root.buttonHeight
                uiScale: root.uiScale
                fontFamily: root.fontFamily
                text: root.zhText("正向", "Fwd")
                accessibleName: root.zhText(modelData.title + "正向测试力矩(按住)",
                                            "Forward test torque on the " + modelData.title + " (hold)")
                blockedReason: root.blockedReason
                onHoldStarted: root.requestHold(modelData.motor, MotorService.Forward)
                onHoldEnded: root.service.release()
            }
        }
        Repeater {
            model: root.frames
            delegate: HoldButton {
                name: "motorReverse" + modelData.motor
                Layout.row: index + 1
                Layout.column: 2
                Layout.fillWidth: true
                Layout.minimumWidth: root.dp(44)
                Layout.preferredHeight: root.buttonHeight
                uiScale: root.uiScale
                fontFamily: root.fontFamily
                text: root.zhText("反向", "Rev")
                accessibleName: root.zhText(modelData.title + "反向测试力矩(按住)",
                                            "Reverse test torque on the " + modelData.title + " (hold)")
                blockedReason: root.blockedReason
                onHoldStarted: root.requestHold(modelData.motor, MotorService.Reverse)
                onHoldEnded: root.service.release()
            }
        }
        Repeater {
            model: root.frames
            delegate: CommandButton {
                name: "motorHallCalib" + modelData.motor
                Layout.row: index + 1
                Layout.column: 3
                text: root.zhText("校准", "Calib")
                accessibleName: root.zhText(modelData.name + "霍尔校准", modelData.name + " frame hall calibration")
                onClicked: root.request(root.zhText(modelData.name + "霍尔校准", modelData.name + " hall calibration"),
                                        root.zhText("校准时" + modelData.title + "会转动，请让该框架可以自由转动。",
                                                    "The " + modelData.title + " turns during its hall calibration; "
                                                    + "let the frame move freely."),
                                        function() { root.service.calibrateHall(modelData.motor) })
            }
        }
        Repeater {
            model: root.frames
            delegate: CommandButton {
                name: "motorElecStart" + modelData.motor
                Layout.row: index + 1
                Layout.column: 4
                text: root.zhText("开始", "Start")
                accessibleName: root.zhText(modelData.name + "电角度校准开始",
                                            modelData.name + " frame electrical-angle calibration start")
                onClicked: root.request(root.zhText(modelData.name + "电角度校准", modelData.name + " electrical-angle calibration"),
                                        root.zhText(modelData.title + "会转动以测定电角度，请让该框架可以自由转动，完成后点击“结束”。",
                                                    "The " + modelData.title + " turns to find its electrical angle; "
                                                    + "let the frame move freely, then click End."),
                                        function() { root.service.calibrateElecAngle(modelData.motor, true) })
            }
        }
        Repeater {
            model: root.frames
            delegate: CommandButton {
                name: "motorElecEnd" + modelData.motor
                Layout.row: index + 1
                Layout.column: 5
                text: root.zhText("结束", "End")
                accessibleName: root.zhText(modelData.name + "电角度校准结束",
                                            modelData.name + " frame electrical-angle calibration end")
                onClicked: root.request("", "", function() { root.service.calibrateElecAngle(modelData.motor, false) })
            }
        }
    }

    GridLayout {
        Layout.fillWidth: true
        columns: 2
        rowSpacing: dp(6)
        columnSpacing: dp(6)

        CommandButton {
            name: "hallDataUser"
            text: zhText("用户霍尔数据", "User hall data")
            accessibleName: text
            onClicked: root.request(text, zhText("电机改用您校准的霍尔数据。", "The motors use the hall data of your own calibration."),
                                    function() { root.service.useHallData(true) })
        }
        CommandButton {
            name: "hallDataDefault"
            text: zhText("默认霍尔数据", "Default hall data")
            accessibleName: text
            onClicked: root.request(text, zhText("电机改用出厂默认的霍尔数据，您校准的数据不再使用。",
                                                 "The motors use the factory hall data; your calibration is no longer used."),
                                    function() { root.service.useHallData(false) })
        }
        CommandButton {
            name: "linearCalib"
            text: zhText("电机线性化校准", "Linearisation")
            accessibleName: zhText("电机线性化校准", "Motor linearisation calibration")
            onClicked: root.request(accessibleName, zhText("线性化校准时电机会转动，请让云台可以自由转动。",
                                                           "The motors turn during the linearisation; let the gimbal move freely."),
                                    function() { root.service.calibrateLinearity() })
        }
        CommandButton {
            name: "gyroBiasUpdate"
            text: zhText("陀螺仪偏置更新", "Gyro bias update")
            accessibleName: text
            onClicked: root.request(text, zhText("更新期间请保持云台静止。", "Keep the gimbal still while the gyroscope bias is updated."),
                                    function() { root.service.updateGyroBias() })
        }
    }

    StatusLine {
        Layout.fillWidth: true
        action: "motorService"
        uiScale: root.uiScale
    }
}
