import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// A label and the control it names, on one line. `labelWidth` lines the
// controls of a panel up in one column whatever the language's label lengths.
RowLayout {
    id: row

    property alias label: labelText.text
    property alias labelImplicitWidth: labelText.implicitWidth
    property real labelWidth: labelText.implicitWidth
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    Layout.fillWidth: true
    spacing: 8 * uiScale

    Label {
        id: labelText
        Layout.preferredWidth: row.labelWidth
        font.family: row.fontFamily
        font.pixelSize: 16 * row.uiScale
    }
}
