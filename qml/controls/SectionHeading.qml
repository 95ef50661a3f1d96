import QtQuick 2.12
import QtQuick.Controls 2.12
import Tavox 1.0

// A title of a panel or of a part of the sidebar.
Label {
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    font.family: fontFamily
    font.pixelSize: 18 * uiScale
    font.bold: true
}
