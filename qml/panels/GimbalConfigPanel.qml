import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    // Indexed by the FPV mode number; only the lock, which has no axis names, is translated.
    property var fpvLabels: ["YAW", "YAW+ROLL", "YAW+ROLL+PITCH", "YAW+PITCH",
                             "ROLL", "ROLL+PITCH", "PITCH", zhText("三轴锁定（全姿态）", "3-AXIS LOCK")]

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    FieldEdits { id: fieldEdits }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "gimbal"; edits: fieldEdits; confirm: confirm }

    // The inputs start in one column whatever the language's label lengths.
    readonly property real labelWidth: Math.max(fpvLabel.implicitWidth, pitchLabel.implicitWidth,
                                                rollLabel.implicitWidth, yawLabel.implicitWidth)

    component FieldLabel: Label {
        Layout.preferredWidth: root.labelWidth
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)
    }

    component SpeedInput: TrackedSpinInput {
        edits: fieldEdits
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        Layout.fillWidth: true
        from: 0
        to: 255
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
                        text: zhText("云台配置", "Gimbal Config")
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
                    spacing: dp(10)

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: fpvLabel; text: zhText("FPV模式", "FPV Mode") }
                        TrackedCombo {
                            id: fpvCombo
                            objectName: "fpvCombo"
                            edits: fieldEdits
                            field: "fpv"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.preferredHeight: dp(36)
                            model: root.fpvLabels
                            device: appBridge.tavoxFpvMode
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: pitchLabel; text: zhText("俯仰最大速度", "Pitch Max Speed") }
                        SpeedInput {
                            id: pitchSpin
                            objectName: "pitchSpin"
                            field: "pitch"
                            device: appBridge.tavoxPitchMaxSpeed
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: rollLabel; text: zhText("横滚最大速度", "Roll Max Speed") }
                        SpeedInput {
                            id: rollSpin
                            objectName: "rollSpin"
                            field: "roll"
                            device: appBridge.tavoxRollMaxSpeed
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)
                        FieldLabel { id: yawLabel; text: zhText("航向最大速度", "Yaw Max Speed") }
                        SpeedInput {
                            id: yawSpin
                            objectName: "yawSpin"
                            field: "yaw"
                            device: appBridge.tavoxYawMaxSpeed
                        }
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }


                    ReadWriteRow {
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                        actions: actions
                        onWriteRequested: appBridge.tavoxWriteGimbalConfig(fpvCombo.currentIndex, pitchSpin.value,
                                                                        rollSpin.value, yawSpin.value)
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
