import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

GroupBox {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property string language: appBridge.language
    // Taller on request, so a long record can be read without scrolling line by line.
    property bool expanded: false

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return language === "zh" ? cn : en }

    function kindColor(kind) {
        switch (kind) {
        case MessageJournal.Error: return Theme.danger
        case MessageJournal.Success: return Theme.success
        case MessageJournal.Warning: return Theme.warning
        default: return Theme.textRegular
        }
    }

    title: ""
    Accessible.name: messageTitle.text
    padding: 0
    Layout.fillWidth: true
    Layout.preferredHeight: 200

    background: Rectangle {
        color: Theme.cardBackground
        radius: root.dp(10)
        border.width: 1
        border.color: Theme.borderLight
    }

    component LogButton: TavoxButton {
        Layout.preferredHeight: root.dp(32)
        uiScale: root.uiScale
        fontFamily: root.fontFamily
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8

        RowLayout {
            Layout.fillWidth: true

            Label {
                id: messageTitle
                objectName: "messageTitle"
                text: root.zhText("消息", "Message")
                font.family: root.fontFamily
                font.pixelSize: root.dp(18)
                font.bold: true
            }

            Item { Layout.fillWidth: true }

            LogButton {
                objectName: "expandButton"
                text: root.expanded ? root.zhText("收起", "Collapse") : root.zhText("展开", "Expand")
                onClicked: root.expanded = !root.expanded
            }
            LogButton {
                objectName: "copyButton"
                text: root.zhText("复制全部", "Copy all")
                onClicked: messageJournal.copyAll()
            }
            LogButton {
                objectName: "saveButton"
                text: root.zhText("保存…", "Save…")
                onClicked: messageJournal.saveAs()
            }
            LogButton {
                objectName: "clearButton"
                text: root.zhText("清除", "Clear")
                onClicked: messageJournal.clear()
            }
        }

        // One selectable text per entry, coloured by what it reports; the
        // view creates only the entries in sight, however long the record,
        // and none ahead of time: while entries stream in, most would scroll
        // past before anyone could scroll to them.
        ListView {
            id: messageLogArea
            objectName: "messageLogArea"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: messageJournal.shown
            Accessible.role: Accessible.List
            Accessible.name: messageTitle.text
            boundsBehavior: Flickable.StopAtBounds
            cacheBuffer: 0
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            delegate: TextEdit {
                width: messageLogArea.width - 12
                x: 6
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                text: model.text
                Accessible.role: Accessible.ListItem
                Accessible.name: model.text
                font.family: root.fontFamily
                font.pixelSize: root.dp(16)
                color: root.kindColor(model.kind)
                selectedTextColor: Theme.selectionText
                selectionColor: Theme.selectionBackground
            }

            // Whether the newest entry was in view when the operator last moved the
            // list: a change of its height (Expand, Collapse, the divider dragged)
            // keeps it there, and leaves an older entry the operator scrolled to alone.
            property bool followsNewest: true
            onContentYChanged: followsNewest = atYEnd
            onHeightChanged: if (followsNewest) Qt.callLater(positionViewAtEnd)
            onCountChanged: Qt.callLater(positionViewAtEnd)
            Component.onCompleted: positionViewAtEnd()
        }
    }

    // Qt Quick has no way to have a screen reader speak; a notification whose
    // name is the newest entry is what one watches for. Outside the layout, it takes no room.
    Item {
        objectName: "latestMessage"
        Accessible.role: Accessible.Notification
        Accessible.name: messageJournal.count > 0
                         ? messageJournal.data(messageJournal.index(messageJournal.count - 1, 0), Qt.DisplayRole) : ""
    }
}
