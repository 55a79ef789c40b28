import QtQuick
import QtQuick.Layouts
import Ombry

// Support and data: the journal's export and the erasure of everything.
SettingsGroup {
    id: card
    property bool erased: false
    property string exportMessage
    title: "Aide et données"

    HelpModel {
        id: help
        settings: AppSettings
        store: Store
        onExported: message => card.exportMessage = message
    }

    SettingRow {
        label: "Journal pour le support"
        detail: "Sans aucun texte dicté ni aucune clé"
        icon: "doc.text"
        GlassButton {
            text: "Exporter le journal…"
            onClicked: {
                card.exportMessage = ""
                help.chooseExport()
            }
        }
    }
    Text {
        visible: card.exportMessage.length > 0
        Layout.fillWidth: true
        text: card.exportMessage
        color: Theme.red
        font.pixelSize: 12
        textFormat: Text.PlainText
        wrapMode: Text.WordWrap
        Accessible.role: Accessible.AlertMessage
        Accessible.name: text
    }
    SettingRow {
        label: "Effacer mes données"
        detail: "Historique, dictionnaire, réunions et audios de cet ordinateur"
        icon: "trash"
        GlassButton {
            text: card.erased ? "Effacé" : "Tout effacer…"
            textColor: Theme.red
            enabled: !card.erased
            onClicked: confirm.open()
        }
    }

    EraseDialog {
        id: confirm
        onConfirmed: {
            help.eraseEverything()
            card.erased = true
        }
    }
}
