import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    // Status and angles are only meaningful with an open port and current heartbeats;
    // the last ones received stay visible, dimmed, while the link is silent.
    readonly property bool telemetrySeen: appBridge.serialOpened && appBridge.hbReceived
    readonly property bool telemetryLive: telemetrySeen && linkMonitor.telemetryLive
    readonly property bool telemetryHeld: telemetrySeen && !linkMonitor.telemetryLive

    readonly property color green: "#67C23A"
    readonly property color orange: "#E6A23C"
    readonly property color red: "#F56C6C"
    readonly property color grey: "#909399"

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function status(dotColor, text) { return { color: dotColor, text: text } }

    function flagStatus(name) {
        if (telemetryHeld)
            return status(grey, zhText("无数据", "No data"))
        if (!telemetryLive)
            return status(grey, zhText("未获得", "N/A"))
        switch (name) {
        case "attitude":
            return appBridge.hbAttiReady ? status(green, zhText("就绪", "Ready"))
                                         : status(red, zhText("未就绪", "Not Ready"))
        case "joint":
            return appBridge.hbJointInitOk ? status(green, zhText("已初始化", "Init OK"))
                                           : status(orange, zhText("初始化中", "Initing"))
        case "voltage":
            return appBridge.hbUnderVolt ? status(red, zhText("欠压", "Under Volt"))
                                         : status(green, zhText("正常", "OK"))
        case "imu":
            return appBridge.hbMemsLost ? status(red, zhText("缺失", "Lost"))
                                        : status(green, zhText("正常", "OK"))
        case "motor":
            if (appBridge.hbActuator === 0)
                return status(green, zhText("正常", "OK"))
            if (appBridge.hbActuator === 1)
                return status(red, zhText("堵转", "Stall"))
            return status(grey, zhText("关闭", "Off"))
        }
        return status(grey, "")
    }

    function angleText(value, decimals, unit) {
        return telemetryLive || telemetryHeld ? value.toFixed(decimals) + unit : "--"
    }

    function linkColor() {
        switch (linkMonitor.state) {
        case LinkMonitor.Connected: return green
        case LinkMonitor.Connecting: return "#409EFF"
        case LinkMonitor.NotConnected: return grey
        default: return red
        }
    }

    function applySerialSwitch(checked) {
        if (!checked && appBridge.tavoxUpgrading) {
            serialSwitch.checked = true
            confirm.ask(zhText("关闭串口？", "Close the port?"),
                        zhText("关闭串口会中止正在进行的固件升级。", "Closing the port aborts the upgrade."),
                        zhText("关闭并中止升级", "Close and abort"),
                        function() { appBridge.closeSerial() })
            return
        }
        if (!checked) {
            appBridge.closeSerial()
            return
        }
        var portName = serialPortCombo.currentText
        var baudRate = parseInt(serialBaudCombo.currentText, 10)
        if (portName === "" || isNaN(baudRate)) {
            appBridge.refreshSerialPorts()
            serialSwitch.checked = false
            return
        }
        if (!appBridge.openSerial(portName, baudRate))
            serialSwitch.checked = false
    }

    // A port that the bridge closes (for example one that vanished) turns the switch off.
    Connections {
        target: appBridge
        function onSerialOpenedChanged() { serialSwitch.checked = appBridge.serialOpened }
    }

    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }

    component Heading: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(18)
        font.bold: true
    }

    component StatusRow: RowLayout {
        property string key
        property var status: root.flagStatus(key)

        spacing: root.dp(4)

        Rectangle {
            objectName: parent.key + "Dot"
            Layout.preferredWidth: root.dp(10)
            Layout.preferredHeight: root.dp(10)
            radius: root.dp(5)
            color: parent.status.color
        }
        Label {
            objectName: parent.key + "Text"
            text: parent.status.text
            font.family: root.fontFamily
            font.pixelSize: root.dp(12)
            color: "#606266"
        }
    }

    component StatusName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: "#606266"
    }

    component AngleName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: "#909399"
    }

    component AngleValue: Label {
        opacity: root.telemetryHeld ? 0.4 : 1
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        color: "#303133"
    }

    component QrCode: ColumnLayout {
        property alias source: qrImage.source
        property alias caption: captionLabel.text

        Layout.alignment: Qt.AlignHCenter
        spacing: root.dp(2)

        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: root.dp(140)
            Layout.preferredHeight: root.dp(140)
            radius: root.dp(4)
            color: "#f5f7fa"
            border.width: 1
            border.color: "#e4e7ed"

            Image {
                id: qrImage
                anchors.centerIn: parent
                width: root.dp(128)
                height: root.dp(128)
                sourceSize.width: width
                sourceSize.height: height
                fillMode: Image.PreserveAspectFit
            }
        }
        Label {
            id: captionLabel
            Layout.alignment: Qt.AlignHCenter
            font.family: root.fontFamily
            font.pixelSize: root.dp(12)
            color: "#909399"
        }
    }

    component LanguageChoice: Label {
        property string code

        readonly property bool active: appBridge.language === code

        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        font.bold: active
        color: active ? "#409EFF" : "#909399"

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: appBridge.language = parent.code
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "white"
        radius: root.dp(10)
        border.width: 1
        border.color: "#e4e7ed"

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            ScrollView {
                id: sidebarScroll
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                contentWidth: width
                contentHeight: sidebarContent.y + sidebarContent.implicitHeight + root.dp(16)

                ColumnLayout {
                    id: sidebarContent
                    x: root.dp(16)
                    y: root.dp(16)
                    width: sidebarScroll.width - root.dp(32)
                    spacing: root.dp(10)

                    Heading { text: root.zhText("端口", "Port") }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: root.dp(6)

                        TavoxCombo {
                            id: serialPortCombo
                            objectName: "serialPortCombo"
                            Layout.fillWidth: true
                            Layout.preferredHeight: root.dp(36)
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            // A new port list always starts again at its first entry.
                            keepIndexOnNewModel: false
                            model: appBridge.serialPorts
                            currentIndex: appBridge.serialPorts.length > 0 ? 0 : -1
                            enabled: !serialSwitch.checked
                        }

                        Button {
                            id: refreshButton
                            objectName: "refreshButton"
                            Layout.preferredWidth: root.dp(36)
                            Layout.preferredHeight: root.dp(36)
                            // Drawn from a picture: the application's font has no arrow in a circle.
                            Accessible.name: root.zhText("刷新", "Refresh")
                            padding: root.dp(9)
                            enabled: !serialSwitch.checked
                            onClicked: appBridge.refreshSerialPorts()

                            background: Rectangle {
                                radius: root.dp(6)
                                color: refreshButton.pressed ? "#dcdfe6" : "#f5f7fa"
                                border.width: 1
                                border.color: "#dcdfe6"
                            }
                            contentItem: Image {
                                source: "qrc:/icon/png/refresh.png"
                                sourceSize: Qt.size(64, 64)
                                fillMode: Image.PreserveAspectFit
                                smooth: true
                                mipmap: true
                                opacity: refreshButton.enabled ? 1 : 0.4
                            }
                        }
                    }

                    Heading { text: root.zhText("波特率", "Baud Rate") }

                    TavoxCombo {
                        id: serialBaudCombo
                        objectName: "serialBaudCombo"
                        Layout.fillWidth: true
                        Layout.preferredHeight: root.dp(36)
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        model: ["921600", "115200"]
                        currentIndex: 0
                        enabled: !serialSwitch.checked
                    }

                    RowLayout {
                        Layout.fillWidth: true

                        Label {
                            objectName: "serialSwitchLabel"
                            Layout.fillWidth: true
                            text: root.zhText("串口开关", "Serial Switch")
                            font.family: root.fontFamily
                            font.pixelSize: root.dp(16)
                        }

                        ToggleSwitch {
                            id: serialSwitch
                            objectName: "serialSwitch"
                            uiScale: root.uiScale
                            onToggled: root.applySerialSwitch(checked)
                        }
                    }

                    RowLayout {
                        objectName: "linkStatusBox"
                        Layout.fillWidth: true
                        spacing: root.dp(6)

                        Rectangle {
                            Layout.alignment: Qt.AlignTop
                            Layout.topMargin: root.dp(4)
                            Layout.preferredWidth: root.dp(10)
                            Layout.preferredHeight: root.dp(10)
                            radius: root.dp(5)
                            color: root.linkColor()
                        }
                        Label {
                            objectName: "linkStatusText"
                            Layout.fillWidth: true
                            // Room for two lines whatever the text, so the sidebar's
                            // height never depends on where the text wraps.
                            Layout.preferredWidth: 1
                            Layout.preferredHeight: root.dp(36)
                            maximumLineCount: 2
                            elide: Text.ElideRight
                            text: linkMonitor.statusText
                            wrapMode: Text.Wrap
                            font.family: root.fontFamily
                            font.pixelSize: root.dp(13)
                            color: "#303133"
                        }
                    }

                    Heading { text: root.zhText("云台状态", "Gimbal Status") }

                    GridLayout {
                        columns: 2
                        rowSpacing: root.dp(4)
                        columnSpacing: root.dp(8)

                        StatusName { text: root.zhText("姿态", "Attitude") }
                        StatusRow { key: "attitude" }
                        StatusName { text: root.zhText("关节", "Joint") }
                        StatusRow { key: "joint" }
                        StatusName { text: root.zhText("电压", "Voltage") }
                        StatusRow { key: "voltage" }
                        StatusName { text: "IMU" }
                        StatusRow { key: "imu" }
                        StatusName { text: root.zhText("电机", "Motor") }
                        StatusRow { key: "motor" }
                    }

                    Heading {
                        text: root.zhText("姿态角 (度)", "Angles (deg)")
                        font.pixelSize: root.dp(16)
                    }

                    GridLayout {
                        columns: 2
                        rowSpacing: root.dp(2)
                        columnSpacing: root.dp(8)

                        AngleName { text: "P:" }
                        AngleValue { objectName: "pitchValue"; text: root.angleText(appBridge.hbPitch, 2, "°") }
                        AngleName { text: "R:" }
                        AngleValue { objectName: "rollValue"; text: root.angleText(appBridge.hbRoll, 2, "°") }
                        AngleName { text: "Y:" }
                        AngleValue { objectName: "yawValue"; text: root.angleText(appBridge.hbYaw, 2, "°") }
                        AngleName { text: root.zhText("温度:", "Temp:") }
                        AngleValue { objectName: "tempValue"; text: root.angleText(appBridge.hbImuTemp, 0, "°C") }
                    }
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: root.dp(6)
                Layout.bottomMargin: root.dp(2)
                spacing: root.dp(8)

                QrCode {
                    objectName: "wechatQr"
                    source: "qrc:/icon/png/mwrWx.png"
                    caption: root.zhText("微信公众号", "WeChat")
                }
                QrCode {
                    objectName: "bilibiliQr"
                    source: "qrc:/icon/png/mwrBliBli.png"
                    caption: "bilibili"
                }
            }

            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: root.dp(8)

                LanguageChoice { objectName: "zhChoice"; code: "zh"; text: "中文" }
                Rectangle {
                    Layout.preferredWidth: root.dp(1)
                    Layout.preferredHeight: root.dp(14)
                    color: "#dcdfe6"
                }
                LanguageChoice { objectName: "enChoice"; code: "en"; text: "EN" }
            }

            Label {
                objectName: "versionLabel"
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: root.dp(6)
                text: root.zhText("版本号: ", "Version: ") + String(appBridge.appVersion).replace(/^v/, "")
                font.family: root.fontFamily
                font.pixelSize: root.dp(12)
                color: "#909399"
            }
        }
    }
}
