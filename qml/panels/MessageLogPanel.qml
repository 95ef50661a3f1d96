import QtQuick 2.9

Item {
    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
}
