import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The prominent button: white label on the accent.
Button {
    id: button
    property string symbol
    // The fill; the deep accent unless the caller tints it.
    property color tint: Theme.accentFill

    padding: 8
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: 13
    font.weight: Font.DemiBold
    // One disabled look for every kit button: label, symbol and fill faded together.
    opacity: enabled ? 1 : 0.45
    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: if (button.enabled) button.clicked()

    contentItem: Row {
        spacing: 6
        Symbol {
            visible: button.symbol.length > 0
            name: button.symbol
            color: "white"
            font.pixelSize: button.font.pixelSize + 2
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: button.text
            font: button.font
            color: "white"
            textFormat: Text.PlainText
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    background: Rectangle {
        implicitHeight: 30
        radius: height / 2
        color: button.down ? Qt.darker(button.tint, 1.2) : (button.hovered ? Qt.lighter(button.tint, 1.08) : button.tint)
        border.width: 0.8
        border.color: Qt.rgba(1, 1, 1, 0.25)
    }
}
