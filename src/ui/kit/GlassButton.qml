import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The bordered glass button: label (and optional symbol) on a translucent fill
// with a thin rim.
Button {
    id: button
    property string symbol
    property color textColor: Theme.text

    padding: 8
    leftPadding: 14
    rightPadding: 14
    font.pixelSize: 13
    font.weight: Font.Medium
    // One disabled look for every kit button: label, symbol and fill faded together.
    opacity: enabled ? 1 : 0.45
    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: if (button.enabled) button.clicked()

    // Centred when the button is made wider than its label; sized by the row,
    // whose place depends on that width.
    contentItem: Item {
        implicitWidth: children[0].implicitWidth
        implicitHeight: children[0].implicitHeight
        Row {
            anchors.centerIn: parent
            spacing: 6
            Symbol {
                visible: button.symbol.length > 0
                name: button.symbol
                color: button.textColor
                font.pixelSize: button.font.pixelSize + 2
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                visible: button.text.length > 0
                text: button.text
                font: button.font
                color: button.textColor
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }
    background: GlassSurface {
        implicitHeight: 30
        radius: height / 2
        dark: Theme.dark
        style: Theme.plain ? GlassSurface.Identity : GlassSurface.Clear
        fill: button.down ? Qt.alpha(Theme.text, 0.16)
                          : Qt.alpha(Theme.cardBackground, Theme.plain ? 0.9 : (button.hovered ? 0.7 : 0.5))
        rimWidth: 0.8
        rimStart: Theme.dark ? Qt.rgba(1, 1, 1, 0.25) : Qt.rgba(0, 0, 0, 0.12)
        rimEnd: Theme.dark ? Qt.rgba(1, 1, 1, 0.08) : Qt.rgba(0, 0, 0, 0.18)
    }
}
