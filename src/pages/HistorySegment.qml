import QtQuick
import QtQuick.Controls
import Ombry

// One segment of a segmented choice; the chosen one stands out on the card colour.
AbstractButton {
    id: segment
    implicitHeight: 26
    checkable: true
    Accessible.role: Accessible.PageTab
    Accessible.name: text
    Accessible.checkable: true
    Accessible.checked: checked

    background: Rectangle {
        radius: 6
        color: segment.checked ? Theme.cardBackground : "transparent"
        border.width: segment.checked ? 1 : 0
        border.color: Qt.alpha(Theme.secondaryText, 0.2)
    }
    contentItem: Text {
        text: segment.text
        font.pixelSize: 12
        font.weight: segment.checked ? Font.DemiBold : Font.Normal
        color: Theme.text
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
