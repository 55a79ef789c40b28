import QtQuick
import QtQuick.Controls
import Ombry

// A borderless button showing one symbol; its label is the tooltip and the name read
// by screen readers.
AbstractButton {
    id: button
    property string symbol
    property string label

    implicitWidth: 26
    implicitHeight: 26
    hoverEnabled: true
    text: label
    Accessible.role: Accessible.Button
    Accessible.name: label
    ToolTip.visible: hovered
    ToolTip.text: label
    ToolTip.delay: 600

    background: Rectangle {
        radius: 6
        color: button.hovered && button.enabled ? Qt.alpha(Theme.secondaryText, 0.12) : "transparent"
    }
    contentItem: Symbol {
        name: button.symbol
        font.pixelSize: 14
        color: button.enabled ? Theme.accent : Qt.alpha(Theme.secondaryText, 0.4)
    }
}
