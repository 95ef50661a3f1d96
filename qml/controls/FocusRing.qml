import QtQuick 2.12
import Tavox 1.0

// Where the keyboard is: drawn around its parent while `shown`, which the
// control sets from Tab focus (a mouse click gives no ring). `radius` is the
// outer line's; the light line inside follows it.
Rectangle {
    id: ring

    property bool shown: false
    property real uiScale: 1.0

    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: -2 * Theme.focusRingWidth
    radius: 8 * uiScale
    visible: shown
    color: Theme.transparent
    border.width: Theme.focusRingWidth
    border.color: Theme.focusRing

    Rectangle {
        objectName: "focusRingInner"
        anchors.fill: parent
        anchors.margins: Theme.focusRingWidth
        radius: Math.max(0, ring.radius - Theme.focusRingWidth)
        color: Theme.transparent
        border.width: Theme.focusRingWidth
        border.color: Theme.focusRingInner
    }
}
