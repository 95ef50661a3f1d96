import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../panels"

// The difference between the controller and a parameter file, one row per
// field with a tick, all ticked at first. "Write selected" writes the ticked
// fields (asking first when that restarts the controller), then every ticked
// row shows whether the controller took its value.
Popup {
    id: dialog

    property var restore: paramRestore
    property string fontFamily: "Source Han Sans SC"
    readonly property bool busy: restore.state === ParamRestore.Writing || restore.state === ParamRestore.Verifying

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function verificationText(verification) {
        switch (verification) {
        case ParamRestore.Pending: return zhText("等待", "pending")
        case ParamRestore.Matches: return zhText("✓ 已核对", "✓ verified")
        case ParamRestore.Differs: return zhText("✗ 未采用", "✗ not taken")
        }
        return ""
    }
    function verificationColor(verification) {
        return verification === ParamRestore.Matches ? Theme.success
             : verification === ParamRestore.Differs ? Theme.danger : Theme.textSecondary
    }
    function writeSelected() {
        if (!restore.selectionRestartsController) {
            restore.writeSelected()
            return
        }
        confirm.ask(zhText("写入所选参数", "Write the selected parameters"),
                    zhText("这些写入会重启控制器，期间云台会短暂失去控制。继续吗?",
                           "These writes restart the controller; the gimbal is briefly uncontrolled. Continue?"),
                    zhText("写入", "Write"), function() { dialog.restore.writeSelected() })
    }

    objectName: "paramDiffDialog"
    parent: Overlay.overlay
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    width: parent ? Math.min(Theme.dp(640), parent.width - Theme.dp(40)) : Theme.dp(640)
    height: parent ? Math.min(Theme.dp(620), parent.height - Theme.dp(40)) : Theme.dp(620)
    modal: true
    closePolicy: busy ? Popup.NoAutoClose : Popup.CloseOnEscape
    padding: Theme.dp(20)
    onClosed: restore.clear()

    Connections {
        target: dialog.restore
        function onOpened() { dialog.open() }
    }

    ConfirmDialog { id: confirm; fontFamily: dialog.fontFamily }
    FocusReturn { popup: dialog }

    background: Rectangle {
        color: Theme.cardBackground
        radius: Theme.cardRadius
        border.width: 1
        border.color: Theme.borderBase
    }

    // A value as the panel names it; one outside its field's range in red, with the range under it.
    component ValueCell: ColumnLayout {
        property string text
        property bool inRange: true
        property string range
        property bool bold: false
        spacing: 0
        Cell {
            Layout.fillWidth: true
            text: parent.text
            font.bold: parent.bold
            color: parent.inRange ? Theme.textPrimary : Theme.danger
        }
        Cell {
            objectName: "rangeNote"
            Layout.fillWidth: true
            visible: !parent.inRange
            text: dialog.zhText("超出 ", "outside ") + parent.range
            font.pixelSize: Theme.fontSmall
            color: Theme.danger
        }
    }

    component Cell: Label {
        font.family: dialog.fontFamily
        font.pixelSize: Theme.fontField
        color: Theme.textPrimary
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    contentItem: ColumnLayout {
        spacing: Theme.spacing

        Label {
            objectName: "paramDiffTitle"
            Layout.fillWidth: true
            text: dialog.zhText("恢复参数: ", "Restore parameters: ") + dialog.restore.sourceName
            elide: Text.ElideMiddle
            font.family: dialog.fontFamily
            font.pixelSize: Theme.fontHeading
            font.bold: true
            color: Theme.textPrimary
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: Theme.dp(40)
            spacing: Theme.spacing
            Cell { Layout.fillWidth: true; Layout.preferredWidth: 2.4; text: dialog.zhText("参数", "Field"); color: Theme.textSecondary }
            Cell { Layout.fillWidth: true; Layout.preferredWidth: 1.6; text: dialog.zhText("控制器中", "On the controller"); color: Theme.textSecondary }
            Cell { Layout.fillWidth: true; Layout.preferredWidth: 1.2; text: dialog.zhText("文件中", "In the file"); color: Theme.textSecondary }
            Cell { Layout.fillWidth: true; Layout.preferredWidth: 1.2; text: "" }
        }

        ListView {
            id: rows
            objectName: "paramDiffRows"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: dialog.restore
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: rows.contentHeight > rows.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }

            delegate: Rectangle {
                width: rows.width
                height: Theme.dp(44)
                color: index % 2 ? Theme.idleBackground : Theme.cardBackground

                RowLayout {
                    anchors.fill: parent
                    spacing: Theme.spacing

                    CheckBox {
                        objectName: "rowCheck_" + model.field
                        Layout.preferredWidth: Theme.dp(30)
                        checked: model.checked
                        Accessible.name: dialog.zhText("恢复 ", "Restore ") + model.field
                        enabled: dialog.restore.state === ParamRestore.Ready && model.fileInRange
                        onToggled: dialog.restore.setChecked(index, checked)
                    }
                    // The panel's name of the field, with the file's key under it.
                    ColumnLayout {
                        Layout.fillWidth: true
                        Layout.preferredWidth: 2.4
                        spacing: 0
                        Cell { objectName: "rowLabel_" + model.field; Layout.fillWidth: true; text: model.label }
                        Cell {
                            objectName: "rowKey_" + model.field
                            Layout.fillWidth: true
                            text: model.field
                            font.pixelSize: Theme.fontSmall
                            color: Theme.textSecondary
                        }
                    }
                    ValueCell {
                        objectName: "rowDevice_" + model.field
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1.6
                        text: model.deviceText
                        inRange: model.deviceInRange
                        range: model.range
                    }
                    ValueCell {
                        objectName: "rowFile_" + model.field
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1.2
                        text: model.fileText
                        inRange: model.fileInRange
                        range: model.range
                        bold: true
                    }
                    Cell {
                        objectName: "rowVerification_" + model.field
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1.2
                        text: dialog.verificationText(model.verification)
                        color: dialog.verificationColor(model.verification)
                    }
                }
            }
        }

        Label {
            objectName: "paramDiffStatus"
            Layout.fillWidth: true
            text: dialog.restore.statusText
            wrapMode: Text.Wrap
            font.family: dialog.fontFamily
            font.pixelSize: Theme.fontBody
            color: dialog.restore.state === ParamRestore.Failed ? Theme.danger
                 : dialog.restore.state === ParamRestore.Verified ? Theme.success : Theme.textRegular
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacing

            Item { Layout.fillWidth: true }
            Button {
                objectName: "paramDiffClose"
                text: dialog.zhText("关闭", "Close")
                font.family: dialog.fontFamily
                font.pixelSize: Theme.fontField
                enabled: !dialog.busy
                onClicked: dialog.close()
            }
            TavoxButton {
                objectName: "paramDiffWrite"
                fontFamily: dialog.fontFamily
                Layout.preferredHeight: Theme.dp(36)
                text: dialog.zhText("写入所选", "Write selected") + " (" + dialog.restore.checkedCount + ")"
                enabled: dialog.restore.state === ParamRestore.Ready && dialog.restore.checkedCount > 0
                         && linkMonitor.writesAllowed
                onClicked: dialog.writeSelected()
            }
        }
    }
}
