import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// What became of the last press of one action: working, done, failed with
// the reason, or no reply. Its line is kept when empty, so that the panel's
// layout does not change with every press.
Label {
    id: line

    property string action
    property real uiScale: 1.0
    readonly property int state: { actionFeedback.revision; return actionFeedback.state(action) }

    objectName: action + "Status"
    Layout.preferredHeight: Math.ceil(font.pixelSize * 1.5)
    // An outcome belongs to the connection it came from: none once the port is closed.
    text: {
        actionFeedback.revision
        return linkMonitor.state === LinkMonitor.NotConnected ? "" : actionFeedback.text(action)
    }
    elide: Text.ElideRight
    font.pixelSize: 13 * uiScale
    // Cut short in a narrow panel, the whole outcome is there on hover and for a screen reader.
    Accessible.name: text
    readonly property bool wholeTextShown: wholeText.visible
    HintToolTip { id: wholeText; wanted: line.truncated && hover.hovered; text: line.text }
    HoverHandler { id: hover }
    color: {
        switch (state) {
        case ActionFeedback.Done: return Theme.success
        case ActionFeedback.Failed:
        case ActionFeedback.NoReply: return Theme.danger
        default: return Theme.textSecondary
        }
    }
}
