import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    readonly property var positionLabels: [zhText("相机下置", "Camera Bottom"), zhText("相机上置", "Camera Top")]

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    FieldEdits { id: fieldEdits }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "camera"; edits: fieldEdits; confirm: confirm }

    Rectangle {
        anchors.fill: parent
        color: "white"
        radius: dp(10)
        border.width: 1
        border.color: "#e4e7ed"

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            ColumnLayout {
                Layout.fillWidth: true
                Layout.margins: dp(14)
                spacing: dp(6)

                // The panel's state sits beside its title, so that it costs the
                // fields and buttons no height.
                RowLayout {
                    Layout.fillWidth: true
                    spacing: dp(8)

                    Label {
                        text: zhText("相机", "Camera")
                        font.family: root.fontFamily
                        font.pixelSize: dp(18)
                        font.bold: true
                    }
                    PanelStateBar {
                        Layout.fillWidth: true
                        Layout.alignment: Qt.AlignVCenter
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        edits: fieldEdits
                        action: actions.name
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: "#e4e7ed"
                }
            }

            ScrollView {
                id: scroll
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                ScrollBar.vertical.policy: ScrollBar.AsNeeded
                contentHeight: content.implicitHeight + dp(6)

                ColumnLayout {
                    id: content
                    x: dp(14)
                    y: dp(6)
                    width: scroll.width - dp(28)
                    height: Math.max(implicitHeight, scroll.availableHeight - dp(6))
                    spacing: dp(10)

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)

                        Label {
                            text: zhText("相机设置", "Camera Setting")
                            font.family: root.fontFamily
                            font.pixelSize: dp(16)
                        }
                        TrackedCombo {
                            id: cameraCombo
                            objectName: "cameraCombo"
                            edits: fieldEdits
                            field: "position"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.preferredHeight: dp(36)
                            model: root.positionLabels
                            device: appBridge.tavoxCameraPosition
                        }
                    }

                    Item {
                        Layout.fillHeight: true
                        Layout.minimumHeight: dp(8)
                    }


                    ReadWriteRow {
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        actions: actions
                        onWriteRequested: appBridge.tavoxWriteCameraPosition(cameraCombo.currentIndex)
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
