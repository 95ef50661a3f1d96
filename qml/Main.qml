import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Window 2.2

ApplicationWindow {
    id: win
    visible: true
    width: 1540
    height: 960
    minimumWidth: 1540
    minimumHeight: 960
    title: "TAVOX"
    color: "#f5f7fa"

    Component.onCompleted: appBridge.tavoxOnStartup()
}
