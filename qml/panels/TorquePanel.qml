import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../dialogs"

Card {
    id: root

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The inputs start in one column whatever the language's label lengths.
    readonly property real labelWidth: Math.max(pitchRow.labelImplicitWidth, rollRow.labelImplicitWidth,
                                                yawRow.labelImplicitWidth)

    readonly property int torqueMin: paramRanges.minimum("gimbal.pitchMaxTorque")
    readonly property int torqueMax: paramRanges.maximum("gimbal.pitchMaxTorque")

    title: zhText("力矩设置 (" + torqueMin + " - " + torqueMax + ")", "Torque (" + torqueMin + "-" + torqueMax + ")")
    edits: fieldEdits
    action: actions.name

    FieldEdits { id: fieldEdits; panel: "torque"; controllerEpoch: controllerWatch.epoch }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "torque"; edits: fieldEdits; confirm: confirm }

    component TorqueRow: FieldRow {
        id: torqueRow
        property alias input: torqueInput
        property alias inputName: torqueInput.objectName
        property alias field: torqueInput.field
        property alias device: torqueInput.device
        property string rangeField
        labelWidth: root.labelWidth
        uiScale: root.uiScale
        fontFamily: root.fontFamily

        TrackedSpinInput {
            id: torqueInput
            edits: fieldEdits
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            from: paramRanges.minimum(torqueRow.rangeField)
            to: paramRanges.maximum(torqueRow.rangeField)
            Accessible.name: torqueRow.label
        }
    }

    TorqueRow {
        id: pitchRow
        label: root.zhText("俯仰最大力矩", "Pitch Torque")
        inputName: "pitchTorque"
        field: "pitch"
        rangeField: "gimbal.pitchMaxTorque"
        device: appBridge.tavoxPitchMaxTorque
    }
    TorqueRow {
        id: rollRow
        label: root.zhText("横滚最大力矩", "Roll Torque")
        inputName: "rollTorque"
        field: "roll"
        rangeField: "gimbal.rollMaxTorque"
        device: appBridge.tavoxRollMaxTorque
    }
    TorqueRow {
        id: yawRow
        label: root.zhText("航向最大力矩", "Yaw Torque")
        inputName: "yawTorque"
        field: "yaw"
        rangeField: "gimbal.yawMaxTorque"
        device: appBridge.tavoxYawMaxTorque
    }

    Item {
        Layout.fillHeight: true
        Layout.minimumHeight: root.dp(8)
    }

    ReadWriteRow {
        uiScale: root.uiScale
        subject: zhText("力矩设置", "torque settings")
        fontFamily: root.fontFamily
        actions: actions
        inputInvalid: pitchRow.input.invalid || rollRow.input.invalid || yawRow.input.invalid
        rebootText: root.zhText("写入力矩后控制器会重启，电机会短暂停止。",
                                "Writing the torques restarts the controller; its motors stop for a moment.")
        onWriteRequested: appBridge.tavoxWriteTorque(pitchRow.input.value, rollRow.input.value, yawRow.input.value)
    }

    Item {
        Layout.preferredHeight: root.dp(8)
    }
}
