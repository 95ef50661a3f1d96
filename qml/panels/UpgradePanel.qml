import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property string upgradeFilePath: appBridge.tavoxUpgradeFilePath

    function dp(v) { return v * uiScale }
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
                contentHeight: content.implicitHeight + dp(6)

                ColumnLayout {
                    id: content
                    x: dp(14)
                    y: dp(6)
                    width: scroll.width - dp(28)
                    height: Math.max(implicitHeight, scroll.availableHeight - dp(6))
                    spacing: dp(10)

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 2
                        rowSpacing: dp(4)
                        columnSpacing: dp(8)

                        VersionName { text: zhText("固件版本", "Firmware") }
                        VersionValue {
                            objectName: "firmwareVersion"
                            text: appBridge.tavoxFirmwareVersion
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

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(8)

                        FieldLabel { text: zhText("进度", "Progress") }
                        ProgressBar {
                            id: progressBar
                            objectName: "progressBar"
                            Layout.fillWidth: true
                            from: 0
                            to: 100
                            value: appBridge.tavoxUpgradeProgress

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
                            text: appBridge.tavoxUpgradeProgress + "%"
                            font.family: root.fontFamily
                            font.pixelSize: dp(16)
                            color: appBridge.tavoxUpgrading ? "#409EFF" : "#606266"
                        }
                    }

                    Item {
                        Layout.fillHeight: true
                        Layout.minimumHeight: dp(8)
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: dp(10)

                        TavoxButton {
                            objectName: "startButton"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.minimumWidth: dp(100)
                            Layout.preferredHeight: dp(38)
                            text: zhText("开始升级", "Start Upgrade")
                            enabled: root.upgradeFilePath !== "" && !appBridge.tavoxUpgrading
                            onClicked: appBridge.tavoxStartUpgrade(root.upgradeFilePath)
                        }
                        TavoxButton {
                            objectName: "queryButton"
                            uiScale: root.uiScale
                            fontFamily: root.fontFamily
                            Layout.fillWidth: true
                            Layout.minimumWidth: dp(100)
                            Layout.preferredHeight: dp(38)
                            text: zhText("查询版本号", "Query Version")
                            enabled: !appBridge.tavoxUpgrading
                            onClicked: appBridge.tavoxQueryVersion()
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
