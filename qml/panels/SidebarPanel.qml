import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"

Item {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }

    Accessible.role: Accessible.Grouping
    Accessible.name: appBridge.language === "zh" ? "串口与云台状态" : "Port and gimbal status"

    // Its drawn width up to the window's drawn width; beyond it a third of the
    // extra width goes to the long port names here, up to the port list's width.
    function widthIn(windowWidth) {
        return Math.min(dp(380), dp(220) + Math.max(0, windowWidth - dp(1540)) / 3)
    }

    // The QR codes give way first when the window is short, so the status
    // and the angles stay in sight without scrolling.
    // The content's bottom padding may go under the codes; its top may not.
    readonly property real contentHeight: sidebarContent.implicitHeight + dp(16)
    readonly property bool roomForCodes: height >= contentHeight + footer.heightWithoutCodes + footer.codesHeight

    Rectangle {
        anchors.fill: parent
        color: Theme.cardBackground
        radius: root.dp(10)
        border.width: 1
        border.color: Theme.borderLight

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            ScrollView {
                id: sidebarScroll
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                contentWidth: width
                contentHeight: sidebarContent.y + sidebarContent.implicitHeight + root.dp(16)

                ColumnLayout {
                    id: sidebarContent
                    x: root.dp(16)
                    y: root.dp(16)
                    width: sidebarScroll.width - root.dp(32)
                    spacing: root.dp(10)

                    SerialControls {
                        Layout.fillWidth: true
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                    }
                    UnsavedEditsBar {
                        Layout.fillWidth: true
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                    }
                    GimbalStatus {
                        Layout.fillWidth: true
                        uiScale: root.uiScale
                        fontFamily: root.fontFamily
                    }
                }
            }

            SidebarFooter {
                id: footer
                Layout.fillWidth: true
                // Without the codes nothing in it asks for the width; its rows still centre in all of it.
                Layout.maximumWidth: Number.POSITIVE_INFINITY
                uiScale: root.uiScale
                fontFamily: root.fontFamily
                showCodes: root.roomForCodes
            }
        }
    }
}
