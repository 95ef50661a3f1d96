import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0

// The boundary between the panels and the message log: dragged, or with Tab
// focus moved by Up and Down, it makes the log taller or shorter within
// `minimumLogHeight`–`maximumLogHeight`. Emits `kept` with the height the
// log should keep once a drag ends or a key moved it.
Item {
    id: handle

    property real uiScale: 1.0
    property real logHeight: 0
    property real minimumLogHeight: 0
    property real maximumLogHeight: 0
    readonly property bool dragging: dragArea.pressed
    // The log's height while a drag is under way.
    readonly property real draggedHeight: bounded(dragArea.heightAtPress + dragArea.pressSceneY - dragArea.sceneY)
    readonly property real keyStep: dp(24)

    signal kept(real newHeight)

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function bounded(height) { return Math.max(minimumLogHeight, Math.min(height, maximumLogHeight)) }
    function stepBy(delta) { kept(bounded(logHeight + delta)) }

    implicitHeight: dp(10)
    activeFocusOnTab: true
    Keys.onUpPressed: stepBy(keyStep)
    Keys.onDownPressed: stepBy(-keyStep)

    // To a screen reader a slider of the log's height, under the names its value takes.
    readonly property real value: logHeight
    readonly property real from: minimumLogHeight
    readonly property real to: maximumLogHeight
    readonly property real step: keyStep
    Accessible.role: Accessible.Slider
    Accessible.name: zhText("消息区高度", "Message log height")
    Accessible.onIncreaseAction: stepBy(keyStep)
    Accessible.onDecreaseAction: stepBy(-keyStep)

    Rectangle {
        id: grip
        objectName: "logGrip"
        anchors.centerIn: parent
        width: handle.dp(64)
        height: handle.dp(6)
        radius: height / 2
        color: dragArea.pressed || dragArea.containsMouse || handle.activeFocus ? Theme.primary : Theme.borderBase

        FocusRing {
            shown: handle.activeFocus
            uiScale: handle.uiScale
            radius: handle.dp(7)
        }
    }

    MouseArea {
        id: dragArea
        objectName: "logDragArea"

        property real heightAtPress: 0
        property real pressSceneY: 0
        property real sceneY: 0

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.SplitVCursor
        preventStealing: true
        onPressed: {
            heightAtPress = handle.logHeight
            pressSceneY = mapToItem(null, mouse.x, mouse.y).y
            sceneY = pressSceneY
        }
        onPositionChanged: {
            if (pressed)
                sceneY = mapToItem(null, mouse.x, mouse.y).y
        }
        onReleased: handle.kept(handle.draggedHeight)
    }

    ToolTip.visible: dragArea.containsMouse && !dragArea.pressed
    ToolTip.delay: 600
    ToolTip.text: zhText("拖动或用 ↑/↓ 调整消息区高度", "Drag, or use ↑/↓, to resize the message log")
}
