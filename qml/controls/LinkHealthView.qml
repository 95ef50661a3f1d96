import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The PC link at a glance, on one line: its state and the time since the
// last heartbeat, then frames and bytes per second and line faults. A narrow
// window cuts the figures short, never the state or the heartbeat's age,
// which matter most when the link is lost; the whole line shows on hover.
RowLayout {
    id: root

    property var health: linkHealth
    property string fontFamily: "Source Han Sans SC"

    readonly property int state: !health.portOpen ? 0 : (health.linkLost ? 2 : 1)

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function stateText() {
        if (state === 0)
            return zhText("串口未打开", "Port closed")
        if (state === 2)
            return zhText("链路中断 — 无心跳", "Link lost — no heartbeat")
        return zhText("链路正常", "Link OK")
    }
    function heartbeatText() {
        var ms = health.sinceHeartbeatMs
        return ms < 0 ? "--" : (ms < 10000 ? Math.round(ms) + " ms" : Math.round(ms / 1000) + " s")
    }
    function lastHeartbeatText() {
        return zhText("距上次心跳 %1", "last heartbeat %1").arg(heartbeatText())
    }
    function figuresText() {
        return zhText("%1 帧/秒 · %2 字节/秒 · CRC/头校验错误 %3/%4 · 同步丢弃 %5 字节",
                      "%1 frames/s · %2 bytes/s · CRC/header failures %3/%4 · resync %5 bytes")
            .arg(health.framesPerSecond.toFixed(0)).arg(health.bytesPerSecond.toFixed(0))
            .arg(health.crcFailures).arg(health.headerSumFailures).arg(health.resyncBytes)
    }
    readonly property string wholeText: state === 0 ? stateText()
                                                    : [stateText(), lastHeartbeatText(), figuresText()].join(" · ")
    readonly property bool wholeTextShown: ToolTip.visible

    Accessible.role: Accessible.StaticText
    Accessible.name: wholeText
    ToolTip.visible: figures.truncated && hover.hovered
    ToolTip.text: wholeText
    HoverHandler { id: hover }

    spacing: Theme.spacingSmall

    Rectangle {
        Layout.preferredWidth: Theme.dp(10)
        Layout.preferredHeight: Theme.dp(10)
        radius: Theme.dp(5)
        color: root.state === 0 ? Theme.info : (root.state === 2 ? Theme.danger : Theme.success)
    }
    Label {
        objectName: "linkHealthState"
        Layout.minimumWidth: implicitWidth
        text: root.stateText()
        font.family: root.fontFamily
        font.pixelSize: Theme.fontBody
        font.bold: root.state === 2
        color: root.state === 2 ? Theme.danger : Theme.textPrimary
    }
    Label {
        objectName: "linkHealthHeartbeat"
        Layout.minimumWidth: implicitWidth
        visible: root.state !== 0
        text: root.lastHeartbeatText()
        font.family: root.fontFamily
        font.pixelSize: Theme.fontSmall
        font.bold: root.state === 2
        color: root.state === 2 ? Theme.danger : Theme.textSecondary
    }
    Label {
        visible: root.state !== 0
        text: "·"
        font.pixelSize: Theme.fontSmall
        color: Theme.textSecondary
    }
    Label {
        id: figures
        objectName: "linkHealthFigures"
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        visible: root.state !== 0
        text: root.figuresText()
        elide: Text.ElideRight
        font.family: root.fontFamily
        font.pixelSize: Theme.fontSmall
        color: root.health.crcFailures + root.health.headerSumFailures > 0 ? Theme.warning : Theme.textSecondary
    }
}
