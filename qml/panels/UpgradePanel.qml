import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property string upgradeFilePath: appBridge.tavoxUpgradeFilePath

    readonly property string startBlockedReason: linkMonitor.blockedReason !== "" ? linkMonitor.blockedReason
                                                 : upgradeFilePath === "" ? zhText("请先选择固件文件", "Choose a firmware file first") : ""

    function dp(v) { return v * uiScale }

    function requestUpgrade() {
        confirm.ask(zhText("开始固件升级？", "Start the firmware upgrade?"),
                    zhText("文件: " + upgradeMonitor.fileName + "（" + upgradeMonitor.fileSizeText + "）\n当前固件版本: "
                           + appBridge.tavoxFirmwareVersion + "\n升级期间请勿断开连接线或关闭串口，控制器会在结束时重启。",
                           "File: " + upgradeMonitor.fileName + " (" + upgradeMonitor.fileSizeText + ")\nFirmware now: "
                           + appBridge.tavoxFirmwareVersion + "\nKeep the cable in and the port open; the controller restarts at the end."),
                    zhText("开始升级", "Start upgrade"),
                    function() { appBridge.tavoxStartUpgrade(root.upgradeFilePath) })
    }

    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    component FieldLabel: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(16)
    }

    component VersionName: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        color: "#909399"
    }

    component VersionValue: Label {
        font.family: root.fontFamily
        font.pixelSize: root.dp(14)
        font.bold: true
        color: "#303133"
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

                Label {
                    text: zhText("升级", "Upgrade")
                    font.family: root.fontFamily
                    font.pixelSize: dp(18)
                    font.bold: true
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
                // Followed, not bound: the result banner's text re-wraps while
                // the column's height is being read, which a binding takes for a loop.
                contentHeight: 0

                ColumnLayout {
                    id: content
                    x: dp(14)
                    y: dp(6)
                    width: scroll.width - dp(28)
                    height: Math.max(implicitHeight, scroll.availableHeight - dp(6))
                    spacing: dp(8)
                    onImplicitHeightChanged: scroll.contentHeight = implicitHeight + dp(6)
                    Component.onCompleted: scroll.contentHeight = implicitHeight + dp(6)

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 3
                        rowSpacing: dp(4)
                        columnSpacing: dp(8)

                        VersionName { text: zhText("固件版本", "Firmware") }
                        VersionValue {
                            objectName: "firmwareVersion"
                            text: appBridge.tavoxFirmwareVersion
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
                        VersionName { text: zhText("Boot版本", "Boot") }
                        VersionValue {
                            objectName: "bootVersion"
                            text: appBridge.tavoxBootVersion
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)

                        FieldLabel { text: zhText("文件路径", "File Path") }
                        TextField {
                            id: filePathField
                            objectName: "filePathField"
                            Layout.fillWidth: true
                            Layout.preferredHeight: dp(36)
                            readOnly: true
                            selectByMouse: true
                            text: root.upgradeFilePath
                            placeholderText: zhText("请选择固件文件", "Select firmware file")
                            font.family: root.fontFamily
                            font.pixelSize: dp(16)
                            color: "#606266"
                            selectedTextColor: "#3367D1"
                            selectionColor: "#E8F0FE"
                            verticalAlignment: TextInput.AlignVCenter
                            leftPadding: dp(12)
                            background: Rectangle {
                                color: "white"
                                radius: dp(6)
                                border.width: 1
                                border.color: "#dcdfe6"
                            }
                        }
                        TavoxButton {
                            objectName: "browseButton"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.preferredHeight: dp(36)
                            text: zhText("选择文件", "Browse")
                            enabled: !appBridge.tavoxUpgrading
                            onClicked: appBridge.tavoxSelectUpgradeFile()
                        }
                    }

                    Label {
                        objectName: "fileInfo"
                        Layout.fillWidth: true
                        // The file, the phase of the upgrade and its result share one place.
                        visible: upgradeMonitor.fileName !== "" && upgradeMonitor.phase === UpgradeMonitor.Idle
                                 && upgradeMonitor.result === UpgradeMonitor.NoResult
                        text: upgradeMonitor.fileName + "  ·  " + upgradeMonitor.fileSizeText
                        elide: Text.ElideMiddle
                        font.family: root.fontFamily
                        font.pixelSize: dp(13)
                        color: "#909399"
                    }

                    RowLayout {
                        objectName: "progressRow"
                        Layout.fillWidth: true
                        // The result says how the upgrade ended, in the progress bar's place.
                        visible: !resultBanner.visible
                        spacing: dp(8)

                        FieldLabel { text: zhText("进度", "Progress") }
                        ProgressBar {
                            id: progressBar
                            objectName: "progressBar"
                            Layout.fillWidth: true
                            from: 0
                            to: 100
                            value: upgradeMonitor.progress

                            background: Rectangle {
                                implicitHeight: dp(8)
                                radius: dp(4)
                                color: "#E4E7ED"
                            }
                            contentItem: Item {
                                implicitHeight: dp(8)
                                Rectangle {
                                    objectName: "progressFill"
                                    width: progressBar.visualPosition * parent.width
                                    height: parent.height
                                    radius: dp(4)
                                    color: "#409EFF"
                                }
                            }
                        }
                        Label {
                            objectName: "progressText"
                            Layout.preferredWidth: dp(40)
                            text: upgradeMonitor.progress + "%"
                            font.family: root.fontFamily
                            font.pixelSize: dp(16)
                            color: appBridge.tavoxUpgrading ? "#409EFF" : "#606266"
                        }
                    }

                    Label {
                        objectName: "phaseText"
                        Layout.fillWidth: true
                        visible: text !== ""
                        text: upgradeMonitor.phaseText
                        font.family: root.fontFamily
                        font.pixelSize: dp(13)
                        color: "#409EFF"
                    }

                    Rectangle {
                        id: resultBanner
                        objectName: "resultBanner"
                        readonly property bool succeeded: upgradeMonitor.result === UpgradeMonitor.Succeeded
                        Layout.fillWidth: true
                        visible: upgradeMonitor.result !== UpgradeMonitor.NoResult
                                 && upgradeMonitor.phase === UpgradeMonitor.Idle
                        implicitHeight: resultLabel.implicitHeight + dp(8)
                        radius: dp(6)
                        color: succeeded ? "#F0F9EB" : "#FEF0F0"
                        border.width: 1
                        border.color: succeeded ? "#B3E19D" : "#FBC4C4"

                        Label {
                            id: resultLabel
                            objectName: "resultText"
                            anchors.fill: parent
                            anchors.margins: dp(4)
                            text: upgradeMonitor.resultText
                            wrapMode: Text.WordWrap
                            font.family: root.fontFamily
                            font.pixelSize: dp(13)
                            color: parent.succeeded ? "#67C23A" : "#F56C6C"
                        }
                    }

                    Item {
                        Layout.fillHeight: true
                        Layout.minimumHeight: dp(8)
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(10)

                        DeviceButton {
                            name: "startButton"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.minimumWidth: dp(100)
                            Layout.preferredHeight: dp(38)
                            text: zhText("开始升级", "Start Upgrade")
                            blockedReason: root.startBlockedReason
                            onClicked: root.requestUpgrade()
                        }
                        DeviceButton {
                            name: "queryButton"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.minimumWidth: dp(100)
                            Layout.preferredHeight: dp(38)
                            text: zhText("查询版本号", "Query Version")
                            blockedReason: linkMonitor.blockedReason
                            onClicked: {
                                actionFeedback.begin("version", ActionFeedback.VersionReply)
                                appBridge.tavoxQueryVersion()
                            }
                        }
                    }

                    Item {
                        Layout.preferredHeight: dp(8)
                    }
                }
            }
        }
    }
}
