import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    property var channelOptions: ["NONE", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8",
                                  "CH9", "CH10", "CH11", "CH12", "CH13", "CH14", "CH15", "CH16"]
    property var pwmChannelOptions: ["NONE", "PWM1", "PWM2", "PWM3"]
    readonly property bool crsfSupported: compareVersion(appBridge.tavoxFirmwareVersion, "1.0.0.59") > 0
    readonly property var modeLabels: [zhText("速度模式", "Speed"), zhText("角度模式", "Angle")]
    readonly property var center2ndFcnLabels: [zhText("FPV模式", "FPV Mode"), zhText("锁头", "Lock")]
    readonly property var dirLabels: [zhText("反向", "Reversed"), zhText("正向", "Normal")]

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function chIndex(ch) { return ch === 0 ? 0 : Math.max(1, Math.min(16, ch)) }
    function chFromIndex(idx) { return idx === 0 ? 0 : idx }

    function compareVersion(a, b) {
        var partsA = String(a === undefined || a === null ? "" : a).split(".")
        var partsB = String(b === undefined || b === null ? "" : b).split(".")
        var count = Math.max(partsA.length, partsB.length)
        for (var i = 0; i < count; ++i) {
            var x = i < partsA.length ? parseInt(partsA[i], 10) : 0
            var y = i < partsB.length ? parseInt(partsB[i], 10) : 0
            if (isNaN(x))
                x = 0
            if (isNaN(y))
                y = 0
            if (x !== y)
                return x < y ? -1 : 1
        }
        return 0
    }

    onCrsfSupportedChanged: {
        if (!crsfSupported && channelTabs.currentIndex === 2)
            channelTabs.currentIndex = 0
    }

    FieldEdits { id: fieldEdits }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "channels"; edits: fieldEdits; confirm: confirm }
    readonly property string rebootText: zhText("写入后控制器会自动激活并重启，电机会短暂停止。",
                                                "Writing activates the settings and restarts the controller; its motors stop for a moment.")

    // A long label (the PWM centre second function) wraps rather than
    // squeezing the combos of every other row into ellipses.
    component AxisLabel: Label {
        Layout.maximumWidth: root.dp(70)
        wrapMode: Text.WordWrap
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)
    }

    component ChannelCombo: TrackedCombo {
        edits: fieldEdits
        field: objectName
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        Layout.fillWidth: true
        // When the row is tight the value box gives way before a choice is elided.
        Layout.minimumWidth: implicitWidth
        Layout.preferredHeight: root.dp(36)
    }

    component DirectionCombo: ChannelCombo {
        model: root.dirLabels
    }

    component ValueBox: Rectangle {
        property string value: "--"
        Layout.fillWidth: true
        Layout.preferredWidth: root.dp(80)
        Layout.minimumWidth: root.dp(60)
        Layout.preferredHeight: root.dp(36)
        radius: root.dp(6)
        color: "#f5f7fa"
        border.width: 1
        border.color: "#e4e7ed"

        Label {
            anchors.centerIn: parent
            text: parent.value
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
            color: "#606266"
        }
    }

    component ChannelTab: TabButton {
        id: tab
        hoverEnabled: true
        width: channelTabs.width / (root.crsfSupported ? 3 : 2)
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)

        contentItem: Text {
            text: tab.text
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
            font.bold: tab.checked
            color: tab.checked || tab.hovered ? "#409EFF" : "#606266"
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        background: Item {
            Rectangle {
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width * 0.7
                height: tab.checked ? 3 : 1
                radius: tab.checked ? 1.5 : 0.5
                color: tab.checked ? "#409EFF" : "#DBDEE5"
            }
        }
    }

    component ChannelPage: ScrollView {
        id: page
        default property alias content: pageColumn.data
        clip: true
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
        ScrollBar.vertical.policy: ScrollBar.AsNeeded
        // Followed, not bound: on a hidden page a re-translated label re-wraps
        // while the column's height is being read, which a binding takes for a loop.
        contentHeight: 0

        ColumnLayout {
            id: pageColumn
            width: channelStack.width - root.dp(20)
            height: Math.max(implicitHeight, page.availableHeight)
            spacing: root.dp(6)
            onImplicitHeightChanged: page.contentHeight = implicitHeight
            Component.onCompleted: page.contentHeight = implicitHeight
        }
    }

    component ChannelGrid: GridLayout {
        Layout.fillWidth: true
        columns: 4
        rowSpacing: root.dp(6)
        columnSpacing: root.dp(10)
    }

    component PageSpacer: Item {
        Layout.fillHeight: true
        Layout.preferredHeight: root.dp(8)
    }

    Rectangle {
        anchors.fill: parent
        color: "white"
        radius: dp(10)
        border.width: 1
        border.color: "#e4e7ed"

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: dp(14)
            spacing: dp(8)

            TabBar {
                id: channelTabs
                objectName: "channelTabs"
                Layout.fillWidth: true
                // The tabs share out the bar's width; summing them back up as
                // the bar's size would make the width depend on itself.
                contentWidth: availableWidth

                background: Rectangle {
                    color: "white"
                    Rectangle {
                        anchors.bottom: parent.bottom
                        width: parent.width
                        height: 1
                        color: "#DBDEE5"
                    }
                }

                // The tab row is a list view underneath; it must stay put.
                Component.onCompleted: {
                    contentItem.interactive = false
                    contentItem.highlightFollowsCurrentItem = false
                    contentItem.boundsBehavior = Flickable.StopAtBounds
                }

                ChannelTab {
                    id: sbusTab
                    objectName: "sbusTab"
                    text: root.zhText("SBUS通道配置", "SBUS Channels")
                }
                ChannelTab {
                    id: pwmTab
                    objectName: "pwmTab"
                    text: root.zhText("PWM通道配置", "PWM Channels")
                }
                ChannelTab {
                    id: crsfTab
                    objectName: "crsfTab"
                    text: root.zhText("CRSF通道配置", "CRSF Channels")
                    visible: root.crsfSupported
                }
            }

            PanelStateBar {
                Layout.fillWidth: true
                uiScale: root.uiScale
                fontFamily: root.fontFamily
                edits: fieldEdits
                action: actions.name
            }

            StackLayout {
                id: channelStack
                objectName: "channelStack"
                Layout.fillWidth: true
                Layout.fillHeight: true
                currentIndex: channelTabs.currentIndex

                ChannelPage {
                    ChannelGrid {
                        AxisLabel { text: root.zhText("俯仰", "Pitch") }
                        ChannelCombo {
                            id: sbusPitch
                            objectName: "sbusPitch"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxSbusPitchCh)
                        }
                        DirectionCombo { id: sbusPitchDir; objectName: "sbusPitchDir"; device: appBridge.tavoxSbusPitchDir }
                        ValueBox {
                            objectName: "sbusPitchValue"
                            value: appBridge.hbReceived ? String(appBridge.hbSbusPitchValue) : "--"
                        }

                        AxisLabel { text: root.zhText("横滚", "Roll") }
                        ChannelCombo {
                            id: sbusRoll
                            objectName: "sbusRoll"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxSbusRollCh)
                        }
                        DirectionCombo { id: sbusRollDir; objectName: "sbusRollDir"; device: appBridge.tavoxSbusRollDir }
                        ValueBox {
                            objectName: "sbusRollValue"
                            value: appBridge.hbReceived ? String(appBridge.hbSbusRollValue) : "--"
                        }

                        AxisLabel { text: root.zhText("航向", "Yaw") }
                        ChannelCombo {
                            id: sbusYaw
                            objectName: "sbusYaw"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxSbusYawCh)
                        }
                        DirectionCombo { id: sbusYawDir; objectName: "sbusYawDir"; device: appBridge.tavoxSbusYawDir }
                        ValueBox {
                            objectName: "sbusYawValue"
                            value: appBridge.hbReceived ? String(appBridge.hbSbusYawValue) : "--"
                        }

                        AxisLabel { text: root.zhText("回中", "Center") }
                        ChannelCombo {
                            id: sbusCenter
                            objectName: "sbusCenter"
                            Layout.columnSpan: 2
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxSbusCenterCh)
                        }
                        ValueBox {
                            objectName: "sbusCenterValue"
                            value: appBridge.hbReceived ? String(appBridge.hbSbusCenterValue) : "--"
                        }

                        AxisLabel { text: root.zhText("锁头", "Lock") }
                        ChannelCombo {
                            id: sbusLock
                            objectName: "sbusLock"
                            Layout.columnSpan: 2
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxSbusLockCh)
                        }
                        ValueBox {
                            objectName: "sbusLockValue"
                            value: appBridge.hbReceived ? String(appBridge.hbSbusLockValue) : "--"
                        }

                        AxisLabel { text: root.zhText("模式", "Mode") }
                        ChannelCombo {
                            id: sbusMode
                            objectName: "sbusMode"
                            Layout.columnSpan: 3
                            model: root.modeLabels
                            device: appBridge.tavoxSbusMode
                        }
                    }
                    PageSpacer {}
                    ReadWriteRow {
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        actions: actions
                        rebootText: root.rebootText
                        readName: "sbusRead"
                        writeName: "sbusWrite"
                        writtenFields: "sbus"
                        onWriteRequested: appBridge.tavoxWriteSbusChannelsWithDir(
                                            root.chFromIndex(sbusPitch.currentIndex),
                                            root.chFromIndex(sbusRoll.currentIndex),
                                            root.chFromIndex(sbusYaw.currentIndex),
                                            root.chFromIndex(sbusCenter.currentIndex),
                                            root.chFromIndex(sbusLock.currentIndex),
                                            sbusMode.currentIndex,
                                            sbusPitchDir.currentIndex,
                                            sbusRollDir.currentIndex,
                                            sbusYawDir.currentIndex)
                    }
                }

                ChannelPage {
                    ChannelGrid {
                        AxisLabel { text: root.zhText("俯仰", "Pitch") }
                        ChannelCombo {
                            id: pwmPitch
                            objectName: "pwmPitch"
                            model: root.pwmChannelOptions
                            device: root.chIndex(appBridge.tavoxPwmPitchCh)
                        }
                        DirectionCombo { id: pwmPitchDir; objectName: "pwmPitchDir"; device: appBridge.tavoxPwmPitchDir }
                        ValueBox {
                            objectName: "pwmPitchValue"
                            value: appBridge.hbReceived ? String(appBridge.hbPwmPitchValue) : "--"
                        }

                        AxisLabel { text: root.zhText("航向", "Yaw") }
                        ChannelCombo {
                            id: pwmYaw
                            objectName: "pwmYaw"
                            model: root.pwmChannelOptions
                            device: root.chIndex(appBridge.tavoxPwmYawCh)
                        }
                        DirectionCombo { id: pwmYawDir; objectName: "pwmYawDir"; device: appBridge.tavoxPwmYawDir }
                        ValueBox {
                            objectName: "pwmYawValue"
                            value: appBridge.hbReceived ? String(appBridge.hbPwmYawValue) : "--"
                        }

                        AxisLabel { text: root.zhText("回中", "Center") }
                        ChannelCombo {
                            id: pwmCenter
                            objectName: "pwmCenter"
                            Layout.columnSpan: 2
                            model: root.pwmChannelOptions
                            device: root.chIndex(appBridge.tavoxPwmCenterCh)
                        }
                        ValueBox {
                            objectName: "pwmCenterValue"
                            value: appBridge.hbReceived ? String(appBridge.hbPwmCenterValue) : "--"
                        }

                        AxisLabel { text: root.zhText("回中第二功能", "Center 2nd Func") }
                        ChannelCombo {
                            id: pwmCenter2ndFcn
                            objectName: "pwmCenter2ndFcn"
                            Layout.columnSpan: 3
                            model: root.center2ndFcnLabels
                            device: appBridge.tavoxPwmLockCh
                        }

                        AxisLabel { text: root.zhText("模式", "Mode") }
                        ChannelCombo {
                            id: pwmMode
                            objectName: "pwmMode"
                            Layout.columnSpan: 3
                            model: root.modeLabels
                            device: appBridge.tavoxPwmMode
                        }
                    }
                    PageSpacer {}
                    ReadWriteRow {
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        actions: actions
                        rebootText: root.rebootText
                        readName: "pwmRead"
                        writeName: "pwmWrite"
                        writtenFields: "pwm"
                        onWriteRequested: appBridge.tavoxWritePwmChannelsWithDir(
                                            root.chFromIndex(pwmPitch.currentIndex),
                                            root.chFromIndex(pwmYaw.currentIndex),
                                            root.chFromIndex(pwmCenter.currentIndex),
                                            pwmCenter2ndFcn.currentIndex,
                                            pwmMode.currentIndex,
                                            pwmPitchDir.currentIndex,
                                            pwmYawDir.currentIndex)
                    }
                }

                ChannelPage {
                    ChannelGrid {
                        AxisLabel { text: root.zhText("俯仰", "Pitch") }
                        ChannelCombo {
                            id: crsfPitch
                            objectName: "crsfPitch"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxCrsfPitchCh)
                        }
                        DirectionCombo { id: crsfPitchDir; objectName: "crsfPitchDir"; device: appBridge.tavoxCrsfPitchDir }
                        ValueBox {
                            objectName: "crsfPitchValue"
                            value: appBridge.hbCrsfValuePresent ? String(appBridge.hbCrsfPitchValue) : "--"
                        }

                        AxisLabel { text: root.zhText("横滚", "Roll") }
                        ChannelCombo {
                            id: crsfRoll
                            objectName: "crsfRoll"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxCrsfRollCh)
                        }
                        DirectionCombo { id: crsfRollDir; objectName: "crsfRollDir"; device: appBridge.tavoxCrsfRollDir }
                        ValueBox {
                            objectName: "crsfRollValue"
                            value: appBridge.hbCrsfValuePresent ? String(appBridge.hbCrsfRollValue) : "--"
                        }

                        AxisLabel { text: root.zhText("航向", "Yaw") }
                        ChannelCombo {
                            id: crsfYaw
                            objectName: "crsfYaw"
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxCrsfYawCh)
                        }
                        DirectionCombo { id: crsfYawDir; objectName: "crsfYawDir"; device: appBridge.tavoxCrsfYawDir }
                        ValueBox {
                            objectName: "crsfYawValue"
                            value: appBridge.hbCrsfValuePresent ? String(appBridge.hbCrsfYawValue) : "--"
                        }

                        AxisLabel { text: root.zhText("回中", "Center") }
                        ChannelCombo {
                            id: crsfCenter
                            objectName: "crsfCenter"
                            Layout.columnSpan: 2
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxCrsfCenterCh)
                        }
                        ValueBox {
                            objectName: "crsfCenterValue"
                            value: appBridge.hbCrsfValuePresent ? String(appBridge.hbCrsfCenterValue) : "--"
                        }

                        AxisLabel { text: root.zhText("锁头", "Lock") }
                        ChannelCombo {
                            id: crsfLock
                            objectName: "crsfLock"
                            Layout.columnSpan: 2
                            model: root.channelOptions
                            device: root.chIndex(appBridge.tavoxCrsfLockCh)
                        }
                        ValueBox {
                            objectName: "crsfLockValue"
                            value: appBridge.hbCrsfValuePresent ? String(appBridge.hbCrsfLockValue) : "--"
                        }

                        AxisLabel { text: root.zhText("模式", "Mode") }
                        ChannelCombo {
                            id: crsfMode
                            objectName: "crsfMode"
                            Layout.columnSpan: 3
                            model: root.modeLabels
                            device: appBridge.tavoxCrsfMode
                        }
                    }
                    PageSpacer {}
                    ReadWriteRow {
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        actions: actions
                        rebootText: root.rebootText
                        readName: "crsfRead"
                        writeName: "crsfWrite"
                        writtenFields: "crsf"
                        onWriteRequested: appBridge.tavoxWriteCrsfChannelsWithDir(
                                            root.chFromIndex(crsfPitch.currentIndex),
                                            root.chFromIndex(crsfRoll.currentIndex),
                                            root.chFromIndex(crsfYaw.currentIndex),
                                            root.chFromIndex(crsfCenter.currentIndex),
                                            root.chFromIndex(crsfLock.currentIndex),
                                            crsfMode.currentIndex,
                                            crsfPitchDir.currentIndex,
                                            crsfRollDir.currentIndex,
                                            crsfYawDir.currentIndex)
                    }
                }
            }
        }
    }
}
