import QtQuick 2.12
import QtQuick.Controls 2.12

// A hint about the control it is put in: shown while the pointer rests on the
// control (`wanted`), below it so that the control's own value stays in
// sight, and gone after a while. A key typed (`dismiss()`) or a scroll of any
// view around the control puts it away until the pointer comes again, so it
// never floats where the control no longer is. It takes no input: the wheel
// goes through it to what lies beneath.
ToolTip {
    id: tip

    property bool wanted: false
    property bool dismissed: false
    property var watchedViews: []

    function dismiss() { dismissed = true }

    function watchViews() {
        for (var item = parent; item; item = item.parent) {
            if (item.contentY !== undefined) {
                item.contentYChanged.connect(dismiss)
                watchedViews.push(item)
            }
        }
    }

    function unwatchViews() {
        watchedViews.forEach(function(view) { view.contentYChanged.disconnect(dismiss) })
        watchedViews = []
    }

    objectName: "hintToolTip"
    enabled: false
    visible: wanted && !dismissed
    onWantedChanged: dismissed = false
    onAboutToShow: watchViews()
    onClosed: unwatchViews()
    x: 0
    y: parent ? parent.height + 4 : 0
    delay: 300
    timeout: 6000
}
