import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The controller's state from its heartbeat: five status rows and the
// attitude angles. Each row binds to its own live value, so a heartbeat that
// changes one value redraws only that row.
ColumnLayout {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    // Status and angles are only meaningful with an open port and current heartbeats;
    // the last ones received stay visible, dimmed, while the link is silent.
    readonly property bool telemetrySeen: appBridge.serialOpened && liveTelemetry.hbReceived
    readonly property bool telemetryLive: telemetrySeen && linkMonitor.telemetryLive
    readonly property bool telemetryHeld: telemetrySeen && !linkMonitor.telemetryLive
    readonly property string absentText: telemetryHeld ? zhText("无数据", "No data") : zhText("未获得", "N/A")

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function angleText(value, decimals, unit) {
        return telemetrySeen ? value.toFixed(decimals) + unit : "--"
    }

    spacing: dp(10)

    component StatusName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: Theme.textRegular
    }

    component StatusRow: RowLayout {
        id: statusRow
        property string key
        property color dotColor
        property string text

        spacing: root.dp(4)
        Layout.fillWidth: true

        Rectangle {
            objectName: statusRow.key + "Dot"
            Layout.preferredWidth: root.dp(10)
            Layout.preferredHeight: root.dp(10)
            radius: root.dp(5)
            color: root.telemetryLive ? statusRow.dotColor : Theme.info
        }
        Label {
            id: statusText
            objectName: statusRow.key + "Text"
            Layout.fillWidth: true
            text: root.telemetryLive ? statusRow.text : root.absentText
            elide: Text.ElideRight
            font.family: root.fontFamily
            font.pixelSize: root.dp(12)
            color: Theme.textRegular
            ToolTip.visible: truncated && statusHover.hovered
            ToolTip.text: text
            HoverHandler { id: statusHover }
        }
    }

    component AngleName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: Theme.textSecondary
    }

    component AngleValue: SteadyNumber {
        property string label
        Accessible.role: Accessible.StaticText
        Accessible.name: label + " " + text
        opacity: root.telemetryHeld ? 0.4 : 1
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: Theme.textPrimary
        alignment: Qt.AlignRight
    }

    SectionHeading { text: root.zhText("云台状态", "Gimbal Status"); uiScale: root.uiScale; fontFamily: root.fontFamily }

    GridLayout {
        Layout.fillWidth: true
        columns: 2
        rowSpacing: root.dp(4)
        columnSpacing: root.dp(8)

        StatusName { text: root.zhText("姿态", "Attitude") }
        StatusRow {
            key: "attitude"
            dotColor: liveTelemetry.hbAttiReady ? Theme.success : Theme.danger
            text: liveTelemetry.hbAttiReady ? root.zhText("就绪", "Ready") : root.zhText("未就绪", "Not Ready")
        }
        StatusName { text: root.zhText("关节", "Joint") }
        StatusRow {
            key: "joint"
            dotColor: liveTelemetry.hbJointInitOk ? Theme.success : Theme.warning
            text: liveTelemetry.hbJointInitOk ? root.zhText("已初始化", "Init OK") : root.zhText("初始化中", "Initing")
        }
        StatusName { text: root.zhText("电压", "Voltage") }
        StatusRow {
            key: "voltage"
            dotColor: liveTelemetry.hbUnderVolt ? Theme.danger : Theme.success
            text: liveTelemetry.hbUnderVolt ? root.zhText("欠压", "Under Volt") : root.zhText("正常", "OK")
        }
        StatusName { text: "IMU" }
        StatusRow {
            key: "imu"
            dotColor: liveTelemetry.hbMemsLost ? Theme.danger : Theme.success
            text: liveTelemetry.hbMemsLost ? root.zhText("缺失", "Lost") : root.zhText("正常", "OK")
        }
        StatusName { text: root.zhText("电机", "Motor") }
        StatusRow {
            key: "motor"
            dotColor: liveTelemetry.hbActuator === 0 ? Theme.success : liveTelemetry.hbActuator === 1 ? Theme.danger : Theme.info
            text: liveTelemetry.hbActuator === 0 ? root.zhText("正常", "OK")
                  : liveTelemetry.hbActuator === 1 ? root.zhText("堵转", "Stall") : root.zhText("关闭", "Off")
        }
    }

    SectionHeading {
        text: root.zhText("姿态角 (度)", "Angles (deg)")
        font.pixelSize: root.dp(16)
        uiScale: root.uiScale
        fontFamily: root.fontFamily
    }

    GridLayout {
        columns: 2
        rowSpacing: root.dp(2)
        columnSpacing: root.dp(8)

        AngleName { text: "P:" }
        AngleValue { objectName: "pitchValue"; label: root.zhText("俯仰", "Pitch"); text: root.angleText(liveTelemetry.hbPitch, 2, "°") }
        AngleName { text: "R:" }
        AngleValue { objectName: "rollValue"; label: root.zhText("横滚", "Roll"); text: root.angleText(liveTelemetry.hbRoll, 2, "°") }
        AngleName { text: "Y:" }
        AngleValue { objectName: "yawValue"; label: root.zhText("航向", "Yaw"); text: root.angleText(liveTelemetry.hbYaw, 2, "°") }
        AngleName { text: root.zhText("温度:", "Temp:") }
        AngleValue { objectName: "tempValue"; label: root.zhText("温度", "Temperature"); text: root.angleText(liveTelemetry.hbImuTemp, 0, "°C") }
    }
}
