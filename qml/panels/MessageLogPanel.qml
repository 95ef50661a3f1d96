import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12

GroupBox {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property string language: appBridge.language

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return language === "zh" ? cn : en }

    title: ""
    padding: 0
    Layout.fillWidth: true
    Layout.preferredHeight: 200

    background: Rectangle {
        color: "white"
        radius: root.dp(10)
        border.width: 1
        border.color: "#e4e7ed"
    }

    // The bridge owns the log; every change shows its complete text again.
    Connections {
        target: appBridge
        function onMessageLogChanged() {
            messageLogArea.text = appBridge.messageLog
            messageLogArea.scrollToEnd()
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8

        RowLayout {
            Layout.fillWidth: true

            Label {
                objectName: "messageTitle"
                text: root.zhText("消息", "Message")
                font.family: root.fontFamily
                font.pixelSize: root.dp(18)
                font.bold: true
            }

            Item { Layout.fillWidth: true }

            TavoxButton {
                objectName: "clearButton"
                text: root.zhText("清除", "Clear")
                Layout.preferredHeight: root.dp(32)
                uiScale: root.uiScale
                fontFamily: root.fontFamily
                onClicked: {
                    messageLogArea.text = ""
                    appBridge.clearMessages()
                }
            }
        }

        ScrollView {
            id: messageLogScrollView
            objectName: "messageLogScrollView"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            ScrollBar.vertical.policy: ScrollBar.AsNeeded

            TextArea {
                id: messageLogArea
                objectName: "messageLogArea"
                width: messageLogScrollView.width
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WordWrap
                font.family: root.fontFamily
                font.pixelSize: root.dp(16)
                color: "#606266"
                selectedTextColor: "#3367D1"
                selectionColor: "#E8F0FE"
                background: null
                leftPadding: 6
                rightPadding: 6
                topPadding: 4
                bottomPadding: 4

                function scrollToEnd() {
                    cursorPosition = length
                    var view = messageLogScrollView.contentItem
                    if (view.contentHeight > view.height)
                        view.contentY = view.contentHeight - view.height
                }

                Component.onCompleted: {
                    text = appBridge.messageLog
                    scrollToEnd()
                }
            }
        }
    }
}
