import QtQuick
import QtQuick.Layouts
import Ombry

// One permission: its state and the way to its setting.
CardRow {
    id: row
    property bool granted
    property bool alwaysButton: true
    property string buttonText: "Ouvrir le réglage"
    signal open()

    Layout.fillWidth: true
    Symbol {
        name: row.granted ? "checkmark.circle.fill" : "xmark.circle.fill"
        color: row.granted ? Theme.accent : Theme.red
    }
    Text {
        text: row.granted ? "Autorisé" : "Non autorisé"
        color: Theme.secondaryText
        font.pixelSize: 12
        textFormat: Text.PlainText
        Accessible.role: Accessible.StaticText
        Accessible.name: row.label + " : " + text
    }
    GlassButton {
        visible: row.alwaysButton || !row.granted
        text: row.buttonText
        Accessible.name: row.buttonText + " : " + row.label
        onClicked: row.open()
    }
}
