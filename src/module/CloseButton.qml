import QtQuick
import QtQuick.Controls
import Ombry

// A bare "xmark" that closes what it sits in.
AbstractButton {
    id: button

    implicitWidth: 24
    implicitHeight: 24
    text: "Fermer"
    Accessible.role: Accessible.Button
    Accessible.name: text

    contentItem: Symbol {
        name: "xmark"
        font.pixelSize: 13
        color: button.hovered ? Theme.text : Theme.secondaryText
    }
    background: null
}
