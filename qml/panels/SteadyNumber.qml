import QtQuick 2.12
import Tavox 1.0

// A live number whose digits keep their places: every digit gets the width of
// the widest one and the text is right-aligned in a box as wide as `widest`,
// so a changing value neither jitters nor resizes anything around it. Only
// the characters that changed are drawn again.
Item {
    id: number

    property string text
    property string widest: Theme.widestAngle
    property font font
    property color color: Theme.textPrimary
    property int alignment: Qt.AlignRight

    readonly property real digitWidth: {
        var widestDigit = 0
        for (var digit = 0; digit <= 9; ++digit)
            widestDigit = Math.max(widestDigit, metrics.advanceWidth(String(digit)))
        return Math.ceil(widestDigit)
    }

    function cellWidth(character) {
        return character >= "0" && character <= "9" ? digitWidth : Math.ceil(metrics.advanceWidth(character))
    }

    function textWidth(text) {
        var width = 0
        for (var i = 0; i < text.length; ++i)
            width += cellWidth(text.charAt(i))
        return width
    }

    implicitWidth: textWidth(widest)
    implicitHeight: Math.ceil(metrics.height)

    FontMetrics { id: metrics; font: number.font }

    Row {
        anchors.verticalCenter: parent.verticalCenter
        anchors.right: number.alignment === Qt.AlignRight ? parent.right : undefined
        anchors.horizontalCenter: number.alignment === Qt.AlignHCenter ? parent.horizontalCenter : undefined

        Repeater {
            model: number.text.length

            Text {
                readonly property string character: number.text.charAt(index)
                width: number.cellWidth(character)
                horizontalAlignment: Text.AlignHCenter
                text: character
                font: metrics.font
                color: number.color
            }
        }
    }
}
