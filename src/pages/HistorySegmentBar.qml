import QtQuick
import Ombry

// The frame of a segmented choice; its segments share the width.
Rectangle {
    default property alias segments: row.data
    implicitWidth: 260
    implicitHeight: 30
    radius: 8
    color: Qt.alpha(Theme.secondaryText, 0.12)
    Accessible.role: Accessible.PageTabList

    Row {
        id: row
        anchors.fill: parent
        anchors.margins: 2
    }
}
