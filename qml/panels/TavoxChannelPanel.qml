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

    // Index = channel number, 0 for none, up to the receiver's last channel.
    function channelNames(prefix, field) {
        var names = ["NONE"]
        for (var ch = 1; ch <= paramRanges.maximum(field); ++ch)
            names.push(prefix + ch)
        return names
    }
    property var channelOptions: channelNames("CH", "sbus.pitchChannel")
    property var pwmChannelOptions: channelNames("PWM", "pwm.pitchChannel")
    readonly property bool crsfSupported: compareVersion(appBridge.tavoxFirmwareVersion, "1.0.0.59") > 0
    readonly property var modeLabels: [zhText("速度模式", "Speed"), zhText("角度模式", "Angle")]
    readonly property var center2ndFcnLabels: [zhText("FPV模式", "FPV Mode"), zhText("锁头", "Lock")]
    readonly property var dirLabels: [zhText("反向", "Reversed"), zhText("正向", "Normal")]

    // The rows of the SBUS and CRSF pages; the PWM page has no roll and no lock channel.
    readonly property var receiverRows: [
        { key: "Pitch", zh: "俯仰", en: "Pitch", kind: "channel", direction: true, live: true },
        { key: "Roll", zh: "横滚", en: "Roll", kind: "channel", direction: true, live: true },
        { key: "Yaw", zh: "航向", en: "Yaw", kind: "channel", direction: true, live: true },
        { key: "Center", zh: "回中", en: "Center", kind: "channel", direction: false, live: true },
        { key: "Lock", zh: "锁头", en: "Lock", kind: "channel", direction: false, live: true },
        { key: "Mode", zh: "模式", en: "Mode", kind: "mode", direction: false, live: false }
    ]
    readonly property var pwmRows: [
        { key: "Pitch", zh: "俯仰", en: "Pitch", kind: "channel", direction: true, live: true },
        { key: "Yaw", zh: "航向", en: "Yaw", kind: "channel", direction: true, live: true },
        { key: "Center", zh: "回中", en: "Center", kind: "channel", direction: false, live: true },
        { key: "Center2ndFcn", zh: "回中第二功能", en: "Center 2nd Func", kind: "lockFunction", direction: false, live: false },
        { key: "Mode", zh: "模式", en: "Mode", kind: "mode", direction: false, live: false }
    ]

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The tabs are its title.
    Accessible.role: Accessible.Grouping
    Accessible.name: zhText("接收机通道", "Receiver channels")

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

    FieldEdits { id: fieldEdits; panel: "channel"; controllerEpoch: controllerWatch.epoch }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: panelActions; name: "channels"; edits: fieldEdits; confirm: confirm }
    readonly property string rebootText: zhText("写入后控制器会自动激活并重启，电机会短暂停止。",
                                                "Writing activates the settings and restarts the controller; its motors stop for a moment.")

    component ChannelTab: TabButton {
        id: tab
        hoverEnabled: true
        width: channelTabs.width / (root.crsfSupported ? 3 : 2)
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)
        // Space picks a tab already; Enter does the same.
        Keys.onReturnPressed: channelTabs.currentIndex = TabBar.index
        Keys.onEnterPressed: channelTabs.currentIndex = TabBar.index
        Accessible.onPressAction: channelTabs.currentIndex = TabBar.index

        // A narrow tab takes a smaller type rather than cutting its name short.
        contentItem: Text {
            text: tab.text
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
            font.bold: tab.checked
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: root.dp(10)
            color: tab.checked || tab.hovered ? Theme.primary : Theme.textRegular
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
                color: tab.checked ? Theme.primary : Theme.divider
            }
            FocusRing { shown: tab.visualFocus; uiScale: root.uiScale; radius: root.dp(4) }
        }
    }

    component ReceiverPage: ChannelPage {
        property int pageIndex: 0
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        channelOptions: root.channelOptions
        modeLabels: root.modeLabels
        lockFunctionLabels: root.center2ndFcnLabels
        dirLabels: root.dirLabels
        edits: fieldEdits
        actions: panelActions
        rebootText: root.rebootText
        liveShown: channelStack.currentIndex === pageIndex && root.visible
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.cardBackground
        radius: dp(10)
        border.width: 1
        border.color: Theme.borderLight

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
                    color: Theme.cardBackground
                    Rectangle {
                        anchors.bottom: parent.bottom
                        width: parent.width
                        height: 1
                        color: Theme.divider
                    }
                }

                // The tab row is a list view underneath; it must stay put.
                Component.onCompleted: {
                    contentItem.interactive = false
                    contentItem.highlightFollowsCurrentItem = false
                    contentItem.boundsBehavior = Flickable.StopAtBounds
                }

                ChannelTab { objectName: "sbusTab"; text: root.zhText("SBUS通道配置", "SBUS Channels") }
                ChannelTab { objectName: "pwmTab"; text: root.zhText("PWM通道配置", "PWM Channels") }
                ChannelTab {
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
                action: panelActions.name
                warning: [sbusPage, pwmPage, crsfPage][channelStack.currentIndex].conflicts.text
            }

            StackLayout {
                id: channelStack
                objectName: "channelStack"
                Layout.fillWidth: true
                Layout.fillHeight: true
                currentIndex: channelTabs.currentIndex

                ReceiverPage {
                    id: sbusPage
                    pageIndex: 0
                    prefix: "sbus"
                    receiver: "Sbus"
                    rows: root.receiverRows
                    onWriteRequested: appBridge.tavoxWriteSbusChannelsWithDir(
                                          sbusPage.choice("Pitch"), sbusPage.choice("Roll"), sbusPage.choice("Yaw"),
                                          sbusPage.choice("Center"), sbusPage.choice("Lock"), sbusPage.choice("Mode"),
                                          sbusPage.direction("Pitch"), sbusPage.direction("Roll"), sbusPage.direction("Yaw"))
                }
                ReceiverPage {
                    id: pwmPage
                    pageIndex: 1
                    prefix: "pwm"
                    receiver: "Pwm"
                    channelOptions: root.pwmChannelOptions
                    rows: root.pwmRows
                    onWriteRequested: appBridge.tavoxWritePwmChannelsWithDir(
                                          pwmPage.choice("Pitch"), pwmPage.choice("Yaw"), pwmPage.choice("Center"),
                                          pwmPage.choice("Center2ndFcn"), pwmPage.choice("Mode"),
                                          pwmPage.direction("Pitch"), pwmPage.direction("Yaw"))
                }
                ReceiverPage {
                    id: crsfPage
                    pageIndex: 2
                    prefix: "crsf"
                    receiver: "Crsf"
                    rows: root.receiverRows
                    onWriteRequested: appBridge.tavoxWriteCrsfChannelsWithDir(
                                          crsfPage.choice("Pitch"), crsfPage.choice("Roll"), crsfPage.choice("Yaw"),
                                          crsfPage.choice("Center"), crsfPage.choice("Lock"), crsfPage.choice("Mode"),
                                          crsfPage.direction("Pitch"), crsfPage.direction("Roll"), crsfPage.direction("Yaw"))
                }
            }
        }
    }
}
