import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../dialogs"

Card {
    id: root

    // Indexed by the FPV mode number; only the lock, which has no axis names, is translated.
    property var fpvLabels: ["YAW", "YAW+ROLL", "YAW+ROLL+PITCH", "YAW+PITCH",
                             "ROLL", "ROLL+PITCH", "PITCH", zhText("三轴锁定（全姿态）", "3-AXIS LOCK")]

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // The inputs start in one column whatever the language's label lengths.
    readonly property real labelWidth: Math.max(fpvRow.labelImplicitWidth, pitchRow.labelImplicitWidth,
                                                rollRow.labelImplicitWidth, yawRow.labelImplicitWidth)

    title: zhText("云台配置", "Gimbal Config")
    edits: fieldEdits
    action: actions.name
    fillsHeight: false

    FieldEdits { id: fieldEdits; panel: "gimbal"; controllerEpoch: controllerWatch.epoch }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "gimbal"; edits: fieldEdits; confirm: confirm }

    component SpeedRow: FieldRow {
        id: speedRow
        property alias input: speedInput
        property alias inputName: speedInput.objectName
        property alias field: speedInput.field
        property alias device: speedInput.device
        property string rangeField
        labelWidth: root.labelWidth
        uiScale: root.uiScale
        fontFamily: root.fontFamily

        TrackedSpinInput {
            id: speedInput
            edits: fieldEdits
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            from: paramRanges.minimum(speedRow.rangeField)
            to: paramRanges.maximum(speedRow.rangeField)
            Accessible.name: speedRow.label
        }
    }

    FieldRow {
        id: fpvRow
        label: root.zhText("FPV模式", "FPV Mode")
        labelWidth: root.labelWidth
        uiScale: root.uiScale
        fontFamily: root.fontFamily

        TrackedCombo {
            id: fpvCombo
            objectName: "fpvCombo"
            edits: fieldEdits
            field: "fpv"
            rangeField: "gimbal.fpvMode"
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            Layout.preferredHeight: root.dp(36)
            model: root.fpvLabels
            Accessible.name: fpvRow.label
            device: appBridge.tavoxFpvMode
        }
    }
    SpeedRow {
        id: pitchRow
        label: root.zhText("俯仰最大速度", "Pitch Max Speed")
        inputName: "pitchSpin"
        field: "pitch"
        rangeField: "gimbal.pitchMaxSpeed"
        device: appBridge.tavoxPitchMaxSpeed
    }
    SpeedRow {
        id: rollRow
        label: root.zhText("横滚最大速度", "Roll Max Speed")
        inputName: "rollSpin"
        field: "roll"
        rangeField: "gimbal.rollMaxSpeed"
        device: appBridge.tavoxRollMaxSpeed
    }
    SpeedRow {
        id: yawRow
        label: root.zhText("航向最大速度", "Yaw Max Speed")
        inputName: "yawSpin"
        field: "yaw"
        rangeField: "gimbal.yawMaxSpeed"
        device: appBridge.tavoxYawMaxSpeed
    }

    Item {
        Layout.preferredHeight: root.dp(8)
    }

    ReadWriteRow {
        uiScale: root.uiScale
        subject: zhText("云台配置", "gimbal configuration")
        fontFamily: root.fontFamily
        actions: actions
        inputInvalid: fpvCombo.outsideRange || pitchRow.input.invalid || rollRow.input.invalid || yawRow.input.invalid
        onWriteRequested: appBridge.tavoxWriteGimbalConfig(fpvCombo.currentIndex, pitchRow.input.value,
                                                        rollRow.input.value, yawRow.input.value)
    }

    Item {
        Layout.preferredHeight: root.dp(8)
    }
}
