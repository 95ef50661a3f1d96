import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../controls"

// The motor service commands, beside the panels: the calibration panel has no
// room for them at the size the window was drawn for. Closing the drawer ends
// a held test torque, as hiding its button does.
Drawer {
    id: drawer

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property MotorService service: motorService

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    objectName: "motorServiceDrawer"
    edge: Qt.RightEdge
    // Opened by its button only, never by a drag from the window's edge.
    dragMargin: 0
    width: parent ? Math.min(dp(560), parent.width * 0.8) : dp(560)
    height: parent ? parent.height : dp(600)

    FocusReturn { popup: drawer }

    background: Rectangle {
        color: Theme.cardBackground
    }

    contentItem: Flickable {
        clip: true
        contentHeight: column.implicitHeight + drawer.dp(32)
        boundsBehavior: Flickable.StopAtBounds

        ColumnLayout {
            id: column
            x: drawer.dp(16)
            y: drawer.dp(16)
            width: parent.width - drawer.dp(32)
            spacing: drawer.dp(10)

            RowLayout {
                Layout.fillWidth: true

                SectionHeading {
                    Layout.fillWidth: true
                    uiScale: drawer.uiScale
                    fontFamily: drawer.fontFamily
                    text: drawer.zhText("电机维护", "Motor service")
                }
                Button {
                    objectName: "motorServiceClose"
                    text: drawer.zhText("关闭 (Esc)", "Close (Esc)")
                    font.family: drawer.fontFamily
                    font.pixelSize: drawer.dp(14)
                    onClicked: drawer.close()
                }
            }
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 1
                color: Theme.borderLight
            }
            MotorServiceSection {
                Layout.fillWidth: true
                service: drawer.service
                uiScale: drawer.uiScale
                fontFamily: drawer.fontFamily
            }
        }
    }
}
