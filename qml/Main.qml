import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Window 2.2
import "panels"

ApplicationWindow {
    id: win

    property real uiScale: 1.0

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    font.family: typeof appFontFamily !== "undefined" && appFontFamily !== "" ? appFontFamily : "Source Han Sans SC"
    font.pixelSize: 14 * uiScale
    visible: true
    width: 1540
    height: 960
    minimumWidth: 1540
    minimumHeight: 960
    title: "TAVOX"
    color: "#f5f7fa"

    Component.onCompleted: appBridge.tavoxOnStartup()

    RowLayout {
        anchors.fill: parent
        anchors.margins: dp(12)
        spacing: dp(12)

        SidebarPanel {
            id: sidebar
            Layout.preferredWidth: dp(220)
            Layout.fillHeight: true
            uiScale: win.uiScale
            fontFamily: win.font.family
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: dp(10)

            GridLayout {
                columns: 3
                rowSpacing: dp(10)
                columnSpacing: dp(10)
                Layout.fillWidth: true
                Layout.fillHeight: true

                CalibrationPanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(600)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
                TavoxChannelPanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(600)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
                GimbalConfigPanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(600)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
                TavoxCameraPanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(400)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
                TorquePanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(400)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
                UpgradePanel {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredHeight: dp(400)
                    uiScale: win.uiScale
                    fontFamily: win.font.family
                }
            }

            MessageLogPanel {
                id: messageLog
                Layout.fillWidth: true
                Layout.preferredHeight: expanded ? dp(440) : dp(180)
                uiScale: win.uiScale
                fontFamily: win.font.family
            }
        }
    }
}
