import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../dialogs"
import "../plots"

// The service bar above the message log: the link's health, backup and
// restore of the parameters, the offer to undo what an upgrade did to them,
// the diagnostics archive, the link's recordings and the live plots. The outcome of each goes to the
// message log right below.
Rectangle {
    id: root

    property string fontFamily: "Source Han Sans SC"
    // Its height on one row. A narrow window's second row comes out of the panels' room, not the log's.
    readonly property real oneRowHeight: Theme.dp(26) + Theme.spacingSmall

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    implicitHeight: bar.implicitHeight + Theme.spacingSmall
    radius: Theme.cardRadius
    color: Theme.cardBackground
    border.width: 1
    border.color: Theme.borderLight

    component ToolButton: FlatButton {
        implicitHeight: Theme.dp(26)
        font.family: root.fontFamily
        font.pixelSize: Theme.fontBody
        leftPadding: Theme.spacing
        rightPadding: Theme.spacing
    }

    GridLayout {
        id: bar
        anchors.fill: parent
        anchors.leftMargin: Theme.spacingLarge
        anchors.rightMargin: Theme.spacingSmall
        // Narrower than a laptop's bar, the link's line takes a row of its own above the buttons. Decided
        // after the window's layout has settled: the bar's height is part of it.
        columns: 2
        onWidthChanged: Qt.callLater(function() { bar.columns = bar.width >= Theme.dp(1000) ? 2 : 1 })
        columnSpacing: Theme.spacingSmall
        rowSpacing: 0

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacingSmall

            LinkHealthView {
                objectName: "linkHealthView"
                Layout.fillWidth: true
                // With the port closed it has no figures to stretch; the buttons stay at the right all the same.
                Layout.maximumWidth: Number.POSITIVE_INFINITY
                // Figures wider than the bar stay inside it.
                clip: true
                fontFamily: root.fontFamily
            }
            RecordingMark { fontFamily: root.fontFamily }
        }
        // Beside the link's line the buttons keep to one line; on a row of
        // their own they wrap onto as many as the bar's width needs.
        Flow {
            id: tools
            readonly property real oneLineWidth: {
                var width = 0
                for (var i = 0; i < children.length; ++i)
                    width += children[i].visible ? children[i].implicitWidth + spacing : 0
                return Math.max(0, width - spacing)
            }
            Layout.alignment: Qt.AlignRight
            Layout.fillWidth: bar.columns === 1
            Layout.preferredWidth: bar.columns === 1 ? -1 : oneLineWidth
            Layout.preferredHeight: implicitHeight
            spacing: Theme.spacingSmall

            ToolButton {
                objectName: "restoreSnapshotButton"
                visible: upgradeSnapshot.restoreOffered
                attention: true
                text: root.zhText("恢复升级前的参数", "Restore the parameters from before the upgrade")
                onClicked: upgradeSnapshot.showRestore()
            }
            ToolButton {
                objectName: "backupButton"
                text: root.zhText("备份参数", "Back up parameters")
                enabled: linkMonitor.deviceReady && !paramBackup.busy
                Accessible.description: enabled ? "" : paramBackup.busy ? root.zhText("正在备份", "Backing up")
                                                                        : linkMonitor.blockedReason
                onClicked: paramBackup.backUp()
            }
            ToolButton {
                objectName: "restoreButton"
                text: root.zhText("恢复参数", "Restore parameters")
                enabled: linkMonitor.writesAllowed
                Accessible.description: enabled ? "" : linkMonitor.writeBlockedReason
                onClicked: paramRestore.chooseFile()
            }
            ToolButton {
                objectName: "exportDiagnosticsButton"
                text: root.zhText("导出诊断包", "Export diagnostics")
                onClicked: diagnosticsExport.exportArchive()
            }
            ToolButton {
                objectName: "exportSessionButton"
                text: root.zhText("导出录制…", "Export session…")
                onClicked: sessionDialog.show()
            }
            ToolButton {
                objectName: "plotsButton"
                text: root.zhText("实时曲线", "Live plots")
                onClicked: plots.active = true
            }
        }
    }

    ParamDiffDialog { fontFamily: root.fontFamily }
    SessionExportDialog { id: sessionDialog; fontFamily: root.fontFamily }

    // Made only while shown, so a closed drawer costs nothing.
    Loader {
        id: plots
        objectName: "plotsLoader"
        active: false
        sourceComponent: Item {
            PlotsDrawer {
                objectName: "plotsDrawer"
                parent: Overlay.overlay
                fontFamily: root.fontFamily
                // Made away after the closing is told, so the keyboard gets back to the button first.
                onClosed: Qt.callLater(function() { plots.active = false })
                Component.onCompleted: open()
            }
        }
    }
}
