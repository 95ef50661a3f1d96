import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"
import "../dialogs"

Card {
    id: root

    property string upgradeFilePath: appBridge.tavoxUpgradeFilePath
    // Without parameters read from the attached controller since the port was
    // opened, no snapshot is kept: the operator is asked about that first.
    property bool keepsSnapshot: upgradeMonitor.keepsSnapshot

    readonly property string startBlockedReason: linkMonitor.blockedReason !== "" ? linkMonitor.blockedReason
                                                 : upgradeFilePath === "" ? zhText("请先选择固件文件", "Choose a firmware file first") : ""

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function requestUpgrade() {
        if (keepsSnapshot) {
            confirmUpgrade()
            return
        }
        snapshotQuestion.ask(function() { return zhText("不保存参数快照就升级？", "Upgrade without a parameter snapshot?") },
                             function() {
                                 return zhText("打开串口后尚未读到当前控制器的参数（在引导程序中的控制器不回复读取），"
                                               + "因此升级前不会保存参数快照，升级后也无法恢复升级前的参数。"
                                               + "若控制器能回复，请先读取参数。",
                                               "The attached controller's parameters have not been read since the port was opened "
                                               + "(a controller in its bootloader does not answer reads), so no snapshot is kept "
                                               + "and the parameters from before the upgrade cannot be restored after it. "
                                               + "If the controller answers, read its parameters first.")
                             },
                             function() { return zhText("不保存快照继续", "Go on without a snapshot") },
                             confirmUpgrade)
    }

    // The file is read again as it is now: what the operator confirms is what is flashed.
    function confirmUpgrade() {
        if (!upgradeMonitor.inspectFile(root.upgradeFilePath))
            return
        var fileName = upgradeMonitor.fileName
        var modified = upgradeMonitor.fileModifiedText
        var checksum = upgradeMonitor.fileChecksumText
        confirm.ask(function() { return zhText("开始固件升级？", "Start the firmware upgrade?") },
                    function() {
                        var fileSize = upgradeMonitor.fileSizeText
                        return zhText("文件: " + fileName + "（" + fileSize + "）\n修改时间: " + modified + "\n校验和: " + checksum
                                      + "\n当前固件版本: " + upgradeMonitor.currentFirmware
                                      + "\n升级期间请勿断开连接线或关闭串口，控制器会在结束时重启。",
                                      "File: " + fileName + " (" + fileSize + ")\nModified: " + modified + "\nChecksum: " + checksum
                                      + "\nFirmware now: " + upgradeMonitor.currentFirmware
                                      + "\nKeep the cable in and the port open; the controller restarts at the end.")
                    },
                    function() { return zhText("开始升级", "Start upgrade") },
                    function() { appBridge.tavoxStartUpgrade(root.upgradeFilePath) })
    }

    function confirmCancel() {
        confirm.ask(function() { return zhText("取消固件升级？", "Cancel the firmware upgrade?") },
                    function() {
                        return zhText("控制器停留在引导程序中，直到一次升级完成；在此之前它没有可用的固件。串口保持打开，可随时重新运行升级。",
                                      "The controller waits in its bootloader until an upgrade completes; until then it has "
                                      + "no usable firmware. The port stays open to run the upgrade again.")
                    },
                    function() { return zhText("停止升级", "Stop the upgrade") },
                    function() { upgradeMonitor.cancel() })
    }

    title: zhText("升级", "Upgrade")
    columnSpacing: dp(8)

    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    ConfirmDialog { id: snapshotQuestion; objectName: "snapshotQuestion"; uiScale: root.uiScale; fontFamily: root.fontFamily }

    component VersionName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        color: Theme.textSecondary
    }

    // A version of an earlier open is shown dimmed and marked, with why on hover.
    component VersionValue: Label {
        property string version
        readonly property bool stale: upgradeMonitor.versionsStale
        readonly property bool hintShown: ToolTip.visible
        text: stale ? version + " " + upgradeMonitor.versionsNote : version
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        font.bold: !stale
        color: stale ? Theme.textSecondary : Theme.textPrimary
        ToolTip.visible: stale && versionHover.hovered
        ToolTip.text: upgradeMonitor.versionsStaleHint
        HoverHandler { id: versionHover }
    }

    GridLayout {
        Layout.fillWidth: true
        columns: 3
        rowSpacing: root.dp(4)
        columnSpacing: root.dp(8)

        VersionName { text: root.zhText("固件版本", "Firmware") }
        VersionValue {
            objectName: "firmwareVersion"
            version: appBridge.tavoxFirmwareVersion
        }
        // What became of Query Version, beside the versions it shows.
        StatusLine {
            Layout.fillWidth: true
            Layout.rowSpan: 2
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
            horizontalAlignment: Text.AlignRight
            action: "version"
            uiScale: root.uiScale
        }
        VersionName { text: root.zhText("Boot版本", "Boot") }
        VersionValue {
            objectName: "bootVersion"
            version: appBridge.tavoxBootVersion
        }
    }

    FieldRow {
        id: fileRow
        label: root.zhText("文件路径", "File Path")
        uiScale: root.uiScale
        fontFamily: root.fontFamily

        TextField {
            id: filePathField
            objectName: "filePathField"
            Accessible.name: fileRow.label
            Layout.fillWidth: true
            Layout.preferredHeight: root.dp(36)
            readOnly: true
            selectByMouse: true
            text: root.upgradeFilePath
            placeholderText: root.zhText("请选择固件文件", "Select firmware file")
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
            color: Theme.textRegular
            selectedTextColor: Theme.selectionText
            selectionColor: Theme.selectionBackground
            verticalAlignment: TextInput.AlignVCenter
            leftPadding: root.dp(12)
            background: Rectangle {
                color: Theme.inputBackground
                radius: root.dp(6)
                border.width: 1
                border.color: Theme.borderBase
                FocusRing {
                    shown: filePathField.activeFocus
                           && (filePathField.focusReason === Qt.TabFocusReason || filePathField.focusReason === Qt.BacktabFocusReason)
                    uiScale: root.uiScale
                }
            }
        }
        TavoxButton {
            objectName: "browseButton"
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.preferredHeight: root.dp(36)
            text: root.zhText("选择文件", "Browse")
            enabled: !appBridge.tavoxUpgrading
            onClicked: appBridge.tavoxSelectUpgradeFile()
        }
    }

    UpgradeProgress {
        Layout.fillWidth: true
        uiScale: root.uiScale
        fontFamily: root.fontFamily
    }

    Item {
        Layout.fillHeight: true
        Layout.minimumHeight: root.dp(8)
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: root.dp(10)

        DeviceButton {
            name: "startButton"
            visible: !cancelButton.visible
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            Layout.minimumWidth: root.dp(100)
            Layout.preferredHeight: root.dp(38)
            text: root.zhText("开始升级", "Start Upgrade")
            blockedReason: root.startBlockedReason
            onClicked: root.requestUpgrade()
        }
        // In Start's place while flashing; not once the image is verified and the controller restarts.
        TavoxButton {
            id: cancelButton
            objectName: "cancelUpgradeButton"
            visible: upgradeMonitor.phase !== UpgradeMonitor.Idle
            enabled: upgradeMonitor.cancellable
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            Layout.minimumWidth: root.dp(100)
            Layout.preferredHeight: root.dp(38)
            text: root.zhText("取消升级", "Cancel Upgrade")
            onClicked: root.confirmCancel()
        }
        DeviceButton {
            name: "queryButton"
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            Layout.fillWidth: true
            Layout.minimumWidth: root.dp(100)
            Layout.preferredHeight: root.dp(38)
            text: root.zhText("查询版本号", "Query Version")
            blockedReason: linkMonitor.blockedReason
            reasonBelow: true
            onClicked: {
                actionFeedback.begin("version", ActionFeedback.VersionReply)
                appBridge.tavoxQueryVersion()
            }
        }
    }

    Item {
        Layout.preferredHeight: root.dp(8)
    }
}
