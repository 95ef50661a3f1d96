import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../panels"

// Pitch, roll and yaw over the last 30 s and the receiver channels, live from
// the heartbeat. The history repaints the plot only while the drawer is open
// and not paused; the values under the cursor come from the history itself.
// "Export CSV" writes the samples the plot shows.
Drawer {
    id: drawer

    property var history: telemetryHistory
    property string fontFamily: "Source Han Sans SC"
    property var cursorSample: ({})
    // The receiver values, taken when the plot is, so both are drawn in one frame.
    property var receivers: ({ sbus: [], pwm: [], crsf: [], crsfPresent: false })
    // Their figures change three times slower than the bars: laying text out is what costs.
    property var receiverNumbers: receivers
    property int receiverUpdates: 0

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function angle(value) { return value === undefined ? "--" : value.toFixed(2) + "°" }
    function readReceivers() {
        var t = liveTelemetry
        receivers = {
            sbus: [t.hbSbusPitchValue, t.hbSbusRollValue, t.hbSbusYawValue, t.hbSbusCenterValue, t.hbSbusLockValue],
            pwm: [t.hbPwmPitchValue, t.hbPwmYawValue, t.hbPwmCenterValue],
            crsf: [t.hbCrsfPitchValue, t.hbCrsfRollValue, t.hbCrsfYawValue, t.hbCrsfCenterValue, t.hbCrsfLockValue],
            crsfPresent: t.hbCrsfValuePresent === true
        }
        if (receiverUpdates++ % 3 === 0)
            receiverNumbers = receivers
    }
    function readCursor(x) {
        var share = (plot.plotLeft() + plot.plotWidth() - x) / plot.plotWidth()
        cursorSample = share >= 0 && share <= 1 ? history.sampleAt(share * history.windowSeconds) : ({})
    }

    objectName: "plotsDrawer"
    edge: Qt.RightEdge
    width: parent ? Math.min(Theme.dp(760), parent.width * 0.8) : Theme.dp(760)
    height: parent ? parent.height : Theme.dp(600)
    onOpened: history.active = true
    onClosed: history.active = false
    Component.onDestruction: history.active = false

    FocusReturn { popup: drawer }

    // The traces move under a still pointer.
    Connections {
        target: drawer.history
        function onUpdated() {
            drawer.readReceivers()
            if (hover.containsMouse)
                drawer.readCursor(hover.mouseX)
        }
    }

    background: Rectangle {
        color: Theme.cardBackground
        border.width: 1
        border.color: Theme.borderBase
    }

    component Legend: RowLayout {
        property color swatch
        property string name
        property string value
        spacing: Theme.spacingSmall
        Rectangle { Layout.preferredWidth: Theme.dp(14); Layout.preferredHeight: Theme.dp(3); color: parent.swatch }
        Label {
            text: parent.name + (parent.value !== "" ? " " + parent.value : "")
            font.family: drawer.fontFamily
            font.pixelSize: Theme.fontBody
            color: Theme.textPrimary
        }
    }

    // On a short screen, or zoomed, the receiver bars below the plot are
    // scrolled to rather than cut.
    Flickable {
        id: drawerScroll
        objectName: "plotsScroll"
        anchors.fill: parent
        anchors.margins: Theme.cardPadding
        contentWidth: width
        contentHeight: Math.max(height, drawerColumn.implicitHeight)
        clip: contentHeight > height
        interactive: false
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            id: drawerBar
            policy: drawerScroll.contentHeight > drawerScroll.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
    }

    ColumnLayout {
        id: drawerColumn
        parent: drawerScroll.contentItem
        width: drawerScroll.width - (drawerScroll.clip ? drawerBar.width : 0)
        height: drawerScroll.contentHeight
        spacing: Theme.spacing

        RowLayout {
            Layout.fillWidth: true
            Label {
                Layout.fillWidth: true
                text: drawer.zhText("实时曲线 (最近 30 秒)", "Live plots (last 30 s)")
                font.family: drawer.fontFamily
                font.pixelSize: Theme.fontHeading
                font.bold: true
                color: Theme.textPrimary
            }
            TavoxButton {
                objectName: "plotPause"
                fontFamily: drawer.fontFamily
                font.pixelSize: Theme.fontField
                Layout.preferredHeight: Theme.dp(32)
                text: drawer.history.paused ? drawer.zhText("继续", "Resume") : drawer.zhText("暂停", "Pause")
                onClicked: drawer.history.paused = !drawer.history.paused
            }
            TavoxButton {
                objectName: "plotExportCsv"
                fontFamily: drawer.fontFamily
                font.pixelSize: Theme.fontField
                Layout.preferredHeight: Theme.dp(32)
                text: drawer.zhText("导出 CSV", "Export CSV")
                enabled: drawer.history.sampleCount > 0
                onClicked: plotExport.exportCsv()
            }
            Button {
                objectName: "plotClose"
                text: drawer.zhText("关闭", "Close")
                font.family: drawer.fontFamily
                font.pixelSize: Theme.fontField
                onClicked: drawer.close()
            }
        }

        RowLayout {
            spacing: Theme.spacingLarge
            Legend { swatch: Theme.plotPitch; name: drawer.zhText("俯仰", "Pitch"); value: drawer.angle(drawer.cursorSample.pitch) }
            Legend { swatch: Theme.plotRoll; name: drawer.zhText("横滚", "Roll"); value: drawer.angle(drawer.cursorSample.roll) }
            Legend { swatch: Theme.plotYaw; name: drawer.zhText("航向", "Yaw"); value: drawer.angle(drawer.cursorSample.yaw) }
            Label {
                objectName: "plotCursorTime"
                text: drawer.cursorSample.secondsAgo === undefined ? ""
                      : "-" + drawer.cursorSample.secondsAgo.toFixed(1) + " s"
                font.family: drawer.fontFamily
                font.pixelSize: Theme.fontBody
                color: Theme.textSecondary
            }
        }

        TelemetryPlot {
            id: plot
            objectName: "telemetryPlot"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: Theme.dp(180)
            history: drawer.history
            pitchColor: Theme.plotPitch
            rollColor: Theme.plotRoll
            yawColor: Theme.plotYaw
            gridColor: Theme.borderLighter
            textColor: Theme.textSecondary
            backgroundColor: Theme.cardBackground
            fontPixelSize: Theme.fontSmall

            MouseArea {
                id: hover
                anchors.fill: parent
                hoverEnabled: true
                onPositionChanged: drawer.readCursor(mouse.x)
                onExited: drawer.cursorSample = ({})
            }
            Rectangle {
                visible: hover.containsMouse && drawer.cursorSample.pitch !== undefined
                x: hover.mouseX
                width: 1
                height: parent.height
                color: Theme.plotCursor
            }
        }

        RowLayout {
            objectName: "receiverBars"
            Layout.fillWidth: true
            spacing: Theme.spacingLarge

            ReceiverBars {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                fontFamily: drawer.fontFamily
                title: "SBUS"
                names: [drawer.zhText("俯仰", "Pitch"), drawer.zhText("横滚", "Roll"), drawer.zhText("航向", "Yaw"),
                        drawer.zhText("回中", "Center"), drawer.zhText("锁定", "Lock")]
                values: drawer.receivers.sbus
                numbers: drawer.receiverNumbers.sbus
            }
            ReceiverBars {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                fontFamily: drawer.fontFamily
                title: "PWM (µs)"
                minimum: 1000
                maximum: 2000
                names: [drawer.zhText("俯仰", "Pitch"), drawer.zhText("航向", "Yaw"), drawer.zhText("回中", "Center")]
                values: drawer.receivers.pwm
                numbers: drawer.receiverNumbers.pwm
            }
            ReceiverBars {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                visible: drawer.receivers.crsfPresent
                fontFamily: drawer.fontFamily
                title: "CRSF"
                names: [drawer.zhText("俯仰", "Pitch"), drawer.zhText("横滚", "Roll"), drawer.zhText("航向", "Yaw"),
                        drawer.zhText("回中", "Center"), drawer.zhText("锁定", "Lock")]
                values: drawer.receivers.crsf
                numbers: drawer.receiverNumbers.crsf
            }
        }
    }
}
