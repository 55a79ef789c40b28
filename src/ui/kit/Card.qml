import QtQuick
import Ombry

// A container with the card background; as wide as its parent gives it, the
// content at the leading edge.
Item {
    id: card
    property real padding: 16
    property real radius: 22
    default property alias content: inner.data

    implicitWidth: inner.childrenRect.width + 2 * padding
    implicitHeight: inner.childrenRect.height + 2 * padding

    GlassCard {
        anchors.fill: parent
        radius: card.radius
    }
    Item {
        id: inner
        anchors.fill: parent
        anchors.margins: card.padding
    }
}
