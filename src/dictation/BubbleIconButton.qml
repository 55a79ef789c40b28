import QtQuick
import Ombry

// A borderless symbol button of the bubble, named for screen readers.
Item {
    id: button
    property string symbol
    property string label
    signal activated

    width: 26
    height: 24
    Accessible.role: Accessible.Button
    Accessible.name: label
    Accessible.onPressAction: button.activated()

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: mouse.pressed ? Qt.alpha(Theme.text, 0.15) : (mouse.containsMouse ? Qt.alpha(Theme.text, 0.08) : "transparent")
    }
    Symbol {
        anchors.centerIn: parent
        name: button.symbol
        font.pixelSize: 15
        color: Theme.secondaryText
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.activated()
    }
}
