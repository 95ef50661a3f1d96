import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../panels"

// The recorded sessions of the link, newest first: start, port and size. The
// chosen one is exported with the desktop's save dialog; the folder they are
// kept in opens in the file manager.
Popup {
    id: dialog

    property var sessions: sessionExport
    property string fontFamily: "Source Han Sans SC"

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function show() {
        sessions.refresh()
        rows.currentIndex = sessions.sessions.length > 0 ? 0 : -1
        open()
    }

    objectName: "sessionExportDialog"
    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    width: parent ? Math.min(Theme.dp(560), parent.width - Theme.dp(40)) : Theme.dp(560)
    height: parent ? Math.min(Theme.dp(480), parent.height - Theme.dp(40)) : Theme.dp(480)
    modal: true
    focus: true
    padding: Theme.dp(20)

    FocusReturn { popup: dialog }

    background: Rectangle {
        color: Theme.cardBackground
        radius: Theme.cardRadius
        border.width: 1
        border.color: Theme.borderBase
    }

    component Cell: Label {
        font.family: dialog.fontFamily
        font.pixelSize: Theme.fontField
        color: Theme.textPrimary
        elide: Text.ElideRight
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: Theme.spacing

        Label {
            text: dialog.zhText("导出录制", "Export session")
            font.family: dialog.fontFamily
            font.pixelSize: Theme.fontHeading
            font.bold: true
            color: Theme.textPrimary
        }
        ListView {
            id: rows
            objectName: "sessionRows"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            focus: true
            model: dialog.sessions.sessions
            boundsBehavior: Flickable.StopAtBounds
            keyNavigationEnabled: true
            Keys.onReturnPressed: dialog.sessions.exportSession(currentIndex)
            Keys.onEnterPressed: dialog.sessions.exportSession(currentIndex)
            ScrollBar.vertical: ScrollBar { policy: rows.contentHeight > rows.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }

            delegate: Rectangle {
                width: rows.width
                height: Theme.dp(36)
                color: ListView.isCurrentItem ? Theme.selectionBackground : (index % 2 ? Theme.idleBackground : Theme.cardBackground)
                Accessible.role: Accessible.ListItem
                Accessible.name: [modelData.start, modelData.port, modelData.size].join(", ")
                Accessible.selected: ListView.isCurrentItem

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: Theme.spacing
                    anchors.rightMargin: Theme.spacing
                    spacing: Theme.spacing
                    Cell { Layout.preferredWidth: Theme.dp(170); text: modelData.start }
                    Cell { Layout.fillWidth: true; text: modelData.port }
                    Cell { text: modelData.size; color: Theme.textSecondary }
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: rows.currentIndex = index
                    onDoubleClicked: dialog.sessions.exportSession(index)
                }
            }

            Label {
                anchors.centerIn: parent
                visible: rows.count === 0
                text: dialog.zhText("还没有录制", "No sessions recorded yet")
                font.family: dialog.fontFamily
                font.pixelSize: Theme.fontField
                color: Theme.textSecondary
            }
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            Button {
                objectName: "openSessionsFolder"
                text: dialog.zhText("打开录制文件夹", "Open sessions folder")
                font.family: dialog.fontFamily
                font.pixelSize: Theme.fontField
                onClicked: dialog.sessions.openFolder()
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "sessionExportClose"
                text: dialog.zhText("关闭", "Close")
                font.family: dialog.fontFamily
                font.pixelSize: Theme.fontField
                onClicked: dialog.close()
            }
            TavoxButton {
                objectName: "sessionExportSave"
                fontFamily: dialog.fontFamily
                Layout.preferredHeight: Theme.dp(36)
                text: dialog.zhText("导出…", "Export…")
                enabled: rows.currentIndex >= 0
                onClicked: dialog.sessions.exportSession(rows.currentIndex)
            }
        }
    }
}
