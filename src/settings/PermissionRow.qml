import QtQuick
import Ombry

// One permission: its state and the way to its setting. A screen reader reads
// the label, then the state.
SettingRow {
    id: row
    property bool granted
    // False in the onboarding: a granted permission needs no button, a missing
    // one shows the button alone.
    property bool alwaysButton: true
    signal open()

    Symbol {
        anchors.verticalCenter: parent.verticalCenter
        visible: row.granted || row.alwaysButton
        name: row.granted ? "checkmark.circle.fill" : "xmark.circle.fill"
        color: row.granted ? Theme.accent : Theme.red
        size: 15
    }
    Text {
        objectName: "state"
        anchors.verticalCenter: parent.verticalCenter
        visible: row.granted || row.alwaysButton
        text: row.granted ? "Autorisé" : "Non autorisé"
        color: Theme.secondaryText
        font.pixelSize: 12
        textFormat: Text.PlainText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        Accessible.description: row.label
    }
    GlassButton {
        objectName: "open"
        anchors.verticalCenter: parent.verticalCenter
        visible: row.alwaysButton || !row.granted
        text: "Ouvrir le réglage"
        Accessible.name: text + " : " + row.label
        onClicked: row.open()
    }
}
