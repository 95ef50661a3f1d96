import QtQuick 2.12
import Tavox 1.0

// A live number that neither jitters nor resizes anything around it: the box
// is as wide as `widest` and the text keeps its alignment inside it. The
// application's fonts give every digit one width, so the digits keep their
// places as well, and a new value re-shapes one short text and nothing else.
Item {
    id: number

    property string text
    property string widest: Theme.widestAngle
    property font font
    property color color: Theme.textPrimary
    property int alignment: Qt.AlignRight

    implicitWidth: Math.ceil(metrics.advanceWidth(widest))
    implicitHeight: Math.ceil(metrics.height)

    FontMetrics { id: metrics; font: number.font }

    Text {
        anchors.fill: parent
        horizontalAlignment: number.alignment === Qt.AlignHCenter ? Text.AlignHCenter : Text.AlignRight
        verticalAlignment: Text.AlignVCenter
        text: number.text
        font: number.font
        color: number.color
    }
}
