import QtQuick
import Ombry

// What the main window holds: its menu bar over the main view's place.
Item {
    id: root
    anchors.fill: parent

    // Where the main view goes.
    readonly property Item body: body

    MainMenuBar {
        id: bar
        width: root.width
    }

    Item {
        id: body
        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }
}
