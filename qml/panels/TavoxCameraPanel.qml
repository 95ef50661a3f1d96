import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../dialogs"

Card {
    id: root

    readonly property var positionLabels: [zhText("相机下置", "Camera Bottom"), zhText("相机上置", "Camera Top")]

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    title: zhText("相机", "Camera")
    edits: fieldEdits
    action: actions.name

    FieldEdits { id: fieldEdits; panel: "camera"; controllerEpoch: controllerWatch.epoch }
    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    PanelActions { id: actions; name: "camera"; edits: fieldEdits; confirm: confirm }

    FieldRow {
        id: cameraRow
        label: root.zhText("相机设置", "Camera Setting")
        uiScale: root.uiScale
        fontFamily: root.fontFamily

        TrackedCombo {
            id: cameraCombo
            objectName: "cameraCombo"
            edits: fieldEdits
            field: "position"
            rangeField: "camera.position"
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            Layout.preferredHeight: root.dp(36)
            model: root.positionLabels
            Accessible.name: cameraRow.label
            device: appBridge.tavoxCameraPosition
        }
    }

    Item {
        Layout.fillHeight: true
        Layout.minimumHeight: root.dp(8)
    }

    ReadWriteRow {
        uiScale: root.uiScale
        subject: zhText("相机设置", "camera settings")
        fontFamily: root.fontFamily
        actions: actions
        inputInvalid: cameraCombo.outsideRange
        onWriteRequested: appBridge.tavoxWriteCameraPosition(cameraCombo.currentIndex)
    }

    Item {
        Layout.preferredHeight: root.dp(8)
    }
}
