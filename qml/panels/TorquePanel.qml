import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    FieldEdits { id: fieldEdits }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "torque"; edits: fieldEdits; confirm: confirm }

    // The inputs start in one column whatever the language's label lengths.
    readonly property real labelWidth: Math.max(pitchLabel.implicitWidth, rollLabel.implicitWidth, yawLabel.implicitWidth)

    component FieldLabel: Label {
        Layout.preferredWidth: root.labelWidth
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)
    }

    component TorqueInput: TrackedSpinInput {
        edits: fieldEdits
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        Layout.fillWidth: true
        from: 1
        to: 30000
    }

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
                        text: zhText("力矩设置 (1 - 30000)", "Torque (1-30000)")
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
                        FieldLabel { id: pitchLabel; text: zhText("俯仰最大力矩", "Pitch Torque") }
                        TorqueInput {
                            id: pitchTorque
                            objectName: "pitchTorque"
                            field: "pitch"
                            device: appBridge.tavoxPitchMaxTorque
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: rollLabel; text: zhText("横滚最大力矩", "Roll Torque") }
                        TorqueInput {
                            id: rollTorque
                            objectName: "rollTorque"
                            field: "roll"
                            device: appBridge.tavoxRollMaxTorque
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: yawLabel; text: zhText("航向最大力矩", "Yaw Torque") }
                        TorqueInput {
                            id: yawTorque
                            objectName: "yawTorque"
                            field: "yaw"
                            device: appBridge.tavoxYawMaxTorque
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
                        rebootText: zhText("写入力矩后控制器会重启，电机会短暂停止。",
                                           "Writing the torques restarts the controller; its motors stop for a moment.")
                        onWriteRequested: appBridge.tavoxWriteTorque(pitchTorque.value, rollTorque.value, yawTorque.value)
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
