import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Window 2.2
import Tavox 1.0
import "controls"
import "dialogs"
import "panels"

ApplicationWindow {
    id: win

    // The operator's zoom (Ctrl+Plus, Ctrl+Minus, Ctrl+0 or the sidebar's foot).
    property real uiScale: windowScale.scale
    // Below the size the layout was drawn for, the grid takes fewer columns and
    // scrolls rather than squeeze a panel narrower than its controls need or
    // lower than it is at that size. At that size and above no floor applies,
    // so the rows split the height exactly as they always have.
    readonly property bool belowDesignSize: width < dp(designWindowSize.width) || height < dp(designWindowSize.height)
    // A message log dragged taller than it starts leaves the panels less
    // room: they keep their floors too, and scroll.
    readonly property bool panelsScroll: belowDesignSize || mainColumn.logHeight > mainColumn.defaultLogHeight + 0.5
    readonly property real narrowestPanel: dp(370)
    readonly property real tallPanelFloor: panelsScroll ? dp(431) : 0
    readonly property real shortPanelFloor: panelsScroll ? dp(305) : 0

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The grid's own minimum, worked out rather than read from the layout
    // while a zoom changes every size: the tall panels come first.
    function gridFloor(columns, spacing) {
        var floors = [tallPanelFloor, tallPanelFloor, tallPanelFloor, shortPanelFloor, shortPanelFloor, shortPanelFloor]
        var height = 0
        for (var first = 0; first < floors.length; first += columns)
            height += Math.max.apply(null, floors.slice(first, first + columns)) + (first > 0 ? spacing : 0)
        return height
    }

    function panelColumns(gridWidth, spacing) {
        for (var columns = 3; columns > 1; --columns) {
            if (gridWidth >= columns * narrowestPanel + (columns - 1) * spacing)
                return columns
        }
        return 1
    }

    font.family: typeof appFontFamily !== "undefined" && appFontFamily !== "" ? appFontFamily : "Source Han Sans SC"
    font.pixelSize: 14 * uiScale
    visible: true
    width: initialWindowSize.width
    height: initialWindowSize.height
    minimumWidth: windowScale.minimumSize.width
    minimumHeight: windowScale.minimumSize.height
    title: "TAVOX"
    color: Theme.windowBackground

    // The minimum size stays within the working area. One smaller than the
    // design size is used whole, title bar and all, as a maximised window; a
    // plain window of the area's size would put its bottom edge under the
    // taskbar by the title bar's height.
    Binding {
        target: windowScale
        property: "availableArea"
        value: Qt.size(Screen.desktopAvailableWidth, Screen.desktopAvailableHeight)
    }
    Binding { target: Theme; property: "uiScale"; value: win.uiScale }

    // Ctrl+Plus is Ctrl+Shift+= on most keyboards: Ctrl+= zooms in too, as
    // in browsers. The keypad's keys are keys of their own.
    Shortcut { sequences: [StandardKey.ZoomIn, "Ctrl++", "Ctrl+=", "Ctrl+Num++"]; onActivated: windowScale.zoomIn() }
    Shortcut { sequences: [StandardKey.ZoomOut, "Ctrl+-", "Ctrl+Num+-"]; onActivated: windowScale.zoomOut() }
    Shortcut { sequences: ["Ctrl+0", "Ctrl+Num+0"]; onActivated: windowScale.resetZoom() }

    // The keyboard's control is scrolled into sight, and the wheel scrolls the
    // page wherever the pointer is.
    FocusFollower { window: win }
    WheelRouter { window: win }

    // Unwritten edits are asked about before the window goes; once answered it closes.
    property bool closeAnswered: false
    onClosing: {
        if (closeAnswered || unsavedEdits.count === 0)
            return
        close.accepted = false
        unsavedQuestion.askBefore(function() { return zhText("关闭前写入修改？", "Write the changes before closing?") },
                                  null, function() { return zhText("写入", "Write") },
                                  function() { win.closeAnswered = true; win.close() })
    }

    UnsavedQuestion { id: unsavedQuestion; uiScale: win.uiScale; fontFamily: win.font.family }
    // The link already changed: the edits stay marked unless the operator writes or discards them.
    Connections {
        target: unsavedEdits
        function onOtherControllerAnswered() {
            unsavedQuestion.askBefore(
                function() { return zhText("写入为另一台控制器所做的修改？", "Write changes made for another controller?") },
                function() {
                    return zhText("这些修改是在固件 " + controllerWatch.previousFirmware + " 的控制器连接时所做，现在连接的是固件 "
                                  + appBridge.tavoxFirmwareVersion + " 的控制器：",
                                  "These changes were made while the controller with firmware " + controllerWatch.previousFirmware
                                  + " was attached; the one on the link now has firmware " + appBridge.tavoxFirmwareVersion + ":")
                },
                function() { return zhText("写入这台控制器", "Write to this controller") }, null)
        }
    }

    Component.onCompleted: {
        if (windowScale.fillsTheScreen)
            visibility = Window.Maximized
        appBridge.tavoxOnStartup()
    }

    // Smaller than even the sidebar and the log's floor need, the whole
    // content scrolls rather than be cut; above that only the panels do.
    readonly property size contentFloor: Qt.size(dp(640), dp(460))

    Flickable {
        id: windowScroll
        objectName: "windowScroll"
        anchors.fill: parent
        contentWidth: Math.max(width, win.contentFloor.width)
        contentHeight: Math.max(height, win.contentFloor.height)
        clip: contentWidth > width || contentHeight > height
        interactive: false
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            policy: windowScroll.contentHeight > windowScroll.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
        ScrollBar.horizontal: ScrollBar {
            policy: windowScroll.contentWidth > windowScroll.width ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
    }

    RowLayout {
        parent: windowScroll.contentItem
        x: dp(12)
        y: dp(12)
        width: windowScroll.contentWidth - dp(24)
        height: windowScroll.contentHeight - dp(24)
        spacing: dp(12)

        SidebarPanel {
            id: sidebar
            objectName: "sidebar"
            Layout.preferredWidth: sidebar.widthIn(win.width)
            Layout.fillHeight: true
            uiScale: win.uiScale
            fontFamily: win.font.family
        }

        ColumnLayout {
            id: mainColumn
            Layout.fillWidth: true
            Layout.fillHeight: true
            // The boundary below the panels is the gap there.
            spacing: 0

            // The log's height: as the operator left the boundary, or as tall as
            // the panels allow on Expand; never so tall that the panels vanish
            // (they scroll instead).
            // Until the boundary is first moved the service bar above the log
            // takes its height from the log, not from the panels.
            readonly property real defaultLogHeight: dp(180) - serviceTools.oneRowHeight - dp(10)
            readonly property real minimumLogHeight: Math.min(dp(100), defaultLogHeight)
            readonly property real logRoom: Math.max(minimumLogHeight, height - dp(160) - logHandle.height
                                                     - serviceTools.height - messageLog.Layout.topMargin)
            readonly property real keptLogHeight: logDivider.logHeight > 0 ? dp(logDivider.logHeight) : defaultLogHeight
            readonly property real logHeight: logHandle.dragging ? logHandle.draggedHeight
                                            : messageLog.expanded ? logRoom
                                            : Math.max(minimumLogHeight, Math.min(keptLogHeight, logRoom))

            // The message log stays in sight below the panels, whatever the window's height.
            Flickable {
                id: panelScroll
                objectName: "panelScroll"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                contentWidth: width
                contentHeight: panelGrid.height
                interactive: contentHeight > height
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {
                    policy: panelScroll.interactive ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                }

                GridLayout {
                    id: panelGrid
                    objectName: "panelGrid"
                    width: panelScroll.width
                    height: Math.max(panelScroll.height, win.gridFloor(columns, rowSpacing))
                    columns: win.panelColumns(width, columnSpacing)
                    rowSpacing: dp(10)
                    columnSpacing: dp(10)

                    CalibrationPanel {
                        objectName: "calibrationPanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(600)
                        Layout.minimumHeight: win.tallPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                    TavoxChannelPanel {
                        objectName: "channelPanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(600)
                        Layout.minimumHeight: win.tallPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                    GimbalConfigPanel {
                        objectName: "gimbalConfigPanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(600)
                        Layout.minimumHeight: win.tallPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                    TavoxCameraPanel {
                        objectName: "cameraPanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(400)
                        Layout.minimumHeight: win.shortPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                    TorquePanel {
                        objectName: "torquePanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(400)
                        Layout.minimumHeight: win.shortPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                    UpgradePanel {
                        objectName: "upgradePanel"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredHeight: dp(400)
                        Layout.minimumHeight: win.shortPanelFloor
                        uiScale: win.uiScale
                        fontFamily: win.font.family
                    }
                }
            }

            LogResizeHandle {
                id: logHandle
                objectName: "logHandle"
                Layout.fillWidth: true
                uiScale: win.uiScale
                logHeight: messageLog.height
                minimumLogHeight: mainColumn.minimumLogHeight
                maximumLogHeight: mainColumn.logRoom
                onKept: {
                    messageLog.expanded = false
                    logDivider.keep(Math.round(newHeight / win.uiScale))
                }

                // Qt Quick's software renderer may repaint a field scrolled out of the panels' view without
                // its clip (a spin box's digits showed below the log): what lies around that view is
                // painted over it, drawn after the panels and before all that sits there.
                Repeater {
                    model: [{ y: -logHandle.y - dp(12), height: dp(12) }, { y: 0, height: mainColumn.height - logHandle.y + dp(12) }]
                    Rectangle {
                        z: -1
                        y: modelData.y
                        width: logHandle.width + dp(12)
                        height: modelData.height
                        color: Theme.windowBackground
                    }
                }
            }

            ServiceTools { id: serviceTools; objectName: "serviceTools"; Layout.fillWidth: true; fontFamily: win.font.family }

            MessageLogPanel {
                id: messageLog
                objectName: "messageLog"
                Layout.fillWidth: true
                Layout.topMargin: dp(10)
                Layout.preferredHeight: mainColumn.logHeight
                uiScale: win.uiScale
                fontFamily: win.font.family
            }
        }
    }
}
