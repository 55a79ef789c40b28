import QtQuick
import Ombry

// What the main window holds: its menu bar over the main view's place, and the
// window's Ctrl shortcuts.
Item {
    id: root
    anchors.fill: parent

    // Where the main view goes.
    readonly property Item body: body

    MainMenuBar {
        id: bar
        width: root.width
    }

    Shortcut {
        sequence: "Ctrl+,"
        onActivated: Shell.openSettings()
    }
    Shortcut {
        sequence: "Ctrl+Q"
        onActivated: Shell.quit()
    }
    Shortcut {
        sequence: "Ctrl+M"
        onActivated: bar.minimiseWindow()
    }
    Shortcut {
        sequence: "Ctrl+W"
        onActivated: bar.closeWindow()
    }

    Item {
        id: body
        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }
}
