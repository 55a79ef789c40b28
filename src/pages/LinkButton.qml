import QtQuick
import QtQuick.Controls
import Ombry

// A borderless text button in the accent colour.
AbstractButton {
    id: button

    property int pixelSize: 12

    hoverEnabled: true
    padding: 0
    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: button.clicked()

    contentItem: Text {
        text: button.text
        font.pixelSize: button.pixelSize
        font.underline: button.hovered
        color: button.enabled ? (button.down ? Qt.darker(Theme.accentText, 1.2) : Theme.accentText) : Theme.secondaryText
        Accessible.ignored: true
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }
}
