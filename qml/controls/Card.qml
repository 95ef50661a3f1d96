import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// A device panel: its title, with the panel's state beside it when it edits
// parameters, a divider, and a column that scrolls when the panel is short.
Item {
    id: card

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property alias title: titleLabel.text
    // The panel's field edits and action name, for the state beside the title.
    property var edits: null
    property string action
    // The column is at least as tall as the view, so a spacer in it can push
    // the buttons to the bottom.
    property bool fillsHeight: true
    property alias columnSpacing: column.spacing
    default property alias content: column.data

    function dp(v) { return v * uiScale }

    // A screen reader names what is inside by the panel it sits in.
    Accessible.role: Accessible.Grouping
    Accessible.name: title

    Rectangle {
        anchors.fill: parent
        color: Theme.cardBackground
        radius: card.dp(10)
        border.width: 1
        border.color: Theme.borderLight

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            ColumnLayout {
                Layout.fillWidth: true
                Layout.margins: card.dp(14)
                spacing: card.dp(6)

                // The panel's state sits beside its title, so that it costs the
                // fields and buttons no height.
                RowLayout {
                    Layout.fillWidth: true
                    spacing: card.dp(8)

                    SectionHeading {
                        id: titleLabel
                        uiScale: card.uiScale
                        fontFamily: card.fontFamily
                    }
                    PanelStateBar {
                        Layout.fillWidth: true
                        Layout.alignment: Qt.AlignVCenter
                        uiScale: card.uiScale
                        fontFamily: card.fontFamily
                        edits: card.edits
                        action: card.action
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: Theme.borderLight
                }
            }

            ScrollView {
                id: scroll
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                ScrollBar.vertical.policy: ScrollBar.AsNeeded
                // Followed, not bound: a text that re-wraps while the column's
                // height is being read would make a binding loop.
                contentHeight: 0

                ColumnLayout {
                    id: column
                    x: card.dp(14)
                    y: card.dp(6)
                    width: scroll.width - card.dp(28)
                    // From the followed height too: a zoom changes every size at once.
                    height: Math.max(scroll.contentHeight, card.fillsHeight ? scroll.availableHeight : 0) - card.dp(6)
                    spacing: card.dp(10)
                    function followHeight() { scroll.contentHeight = implicitHeight + card.dp(6) }
                    // Once the change that caused it is over: inside a zoom's
                    // change of every size, the height set would be changing still.
                    onImplicitHeightChanged: Qt.callLater(followHeight)
                    Component.onCompleted: followHeight()
                }
            }
        }
    }
}
