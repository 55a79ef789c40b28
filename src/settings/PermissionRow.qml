import QtQuick
import Ombry

// One permission: its state and the way to its setting. A screen reader reads
// the label, then the state.
SettingRow {
    id: row
    property bool granted
    // False until the first check has answered: the row claims nothing.
    property bool known: true
    // Whether a settings program can grant it here.
    property bool canOpen: true
    // False in the onboarding: a granted permission needs no button, a missing
    // one shows the button alone.
    property bool alwaysButton: true
    readonly property bool buttonShown: canOpen && (alwaysButton || (known && !granted))
    signal open()

    Symbol {
        objectName: "stateSymbol"
        anchors.verticalCenter: parent.verticalCenter
        visible: row.known && (row.granted || row.alwaysButton || !row.buttonShown)
        name: row.granted ? "checkmark.circle.fill" : "xmark.circle.fill"
        color: row.granted ? Theme.accent : Theme.red
        size: 15
    }
    Text {
        objectName: "state"
        anchors.verticalCenter: parent.verticalCenter
        visible: !row.known || row.granted || row.alwaysButton || !row.buttonShown
        text: !row.known ? "Vérification…" : row.granted ? "Autorisé" : "Non autorisé"
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
        visible: row.buttonShown
        text: "Ouvrir le réglage"
        Accessible.name: text + " : " + row.label
        onClicked: row.open()
    }
}
