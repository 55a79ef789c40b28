import QtQuick
import Ombry

// A row's symbol in the accent on a light accent square.
Rectangle {
    property string systemName

    implicitWidth: 28
    implicitHeight: 28
    radius: 8
    color: Qt.alpha(Theme.accent, 0.13)

    Symbol {
        anchors.centerIn: parent
        name: parent.systemName
        font.pixelSize: 15
        font.weight: Font.Medium
        color: Theme.accentText
    }
}
