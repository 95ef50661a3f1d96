import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// One receiver's channel values as horizontal bars with their numbers.
ColumnLayout {
    id: root

    property string title
    property var names: []
    property var values: []
    // The figures beside the bars; may lag the bars.
    property var numbers: values
    property real minimum: 172
    property real maximum: 1811
    property string fontFamily: "Source Han Sans SC"

    spacing: Theme.dp(3)

    Label {
        text: root.title
        font.family: root.fontFamily
        font.pixelSize: Theme.fontBody
        font.bold: true
        color: Theme.textPrimary
    }

    Repeater {
        model: root.names.length

        RowLayout {
            Layout.fillWidth: true
            spacing: Theme.spacingSmall

            Label {
                Layout.preferredWidth: Theme.dp(44)
                text: root.names[index]
                font.family: root.fontFamily
                font.pixelSize: Theme.fontSmall
                color: Theme.textSecondary
            }
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: Theme.dp(10)
                radius: Theme.radiusSmall
                color: Theme.mutedBackground

                Rectangle {
                    readonly property real share: root.values.length <= index ? 0
                        : Math.max(0, Math.min(1, (root.values[index] - root.minimum)
                                                                           / (root.maximum - root.minimum)))
                    width: parent.width * share
                    height: parent.height
                    radius: Theme.radiusSmall
                    color: Theme.primary
                }
            }
            Label {
                Layout.preferredWidth: Theme.dp(40)
                horizontalAlignment: Text.AlignRight
                text: root.numbers.length > index ? root.numbers[index] : "--"
                font.family: root.fontFamily
                font.pixelSize: Theme.fontSmall
                color: Theme.textPrimary
            }
        }
    }
}
