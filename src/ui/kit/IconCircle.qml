import QtQuick
import Ombry

// A symbol in the accent colour on a light accent disc.
Rectangle {
    property string systemName
    width: 34
    height: 34
    radius: 17
    color: Theme.accentLight

    Symbol {
        anchors.centerIn: parent
        name: parent.systemName
        font.pixelSize: 15
        font.weight: Font.DemiBold
        color: Theme.accentText
    }
}
