import QtQuick
import Ombry

// A key cap in a shortcut hint; not a control.
Rectangle {
    id: chip
    property string text

    implicitWidth: label.implicitWidth + 18
    implicitHeight: label.implicitHeight + 8
    radius: 7
    color: Qt.alpha(Theme.text, 0.07)
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Text {
        id: label
        anchors.centerIn: parent
        text: chip.text
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: Theme.text
        Accessible.ignored: true
    }
}
