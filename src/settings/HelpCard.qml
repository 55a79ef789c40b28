import QtQuick
import QtQuick.Layouts
import QtQuick.Dialogs
import Ombry

// Support and data: the journal's export and the erasure of everything.
Card {
    id: card
    property bool erased: false
    property string exportMessage
    padding: 18

    HelpModel { id: help }

    ColumnLayout {
        width: parent.width
        spacing: 12

        SectionTitle { text: "Aide et données" }

        CardRow {
            Layout.fillWidth: true
            symbol: "doc.text"
            label: "Journal pour le support"
            detail: "Sans aucun texte dicté ni aucune clé"
            GlassButton {
                text: "Exporter le journal…"
                onClicked: saveDialog.open()
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
        CardRow {
            Layout.fillWidth: true
            symbol: "trash"
            label: "Effacer mes données"
            detail: "Historique, dictionnaire, réunions et audios de cet ordinateur"
            GlassButton {
                text: card.erased ? "Effacé" : "Tout effacer…"
                textColor: Theme.red
                enabled: !card.erased
                onClicked: confirm.open()
            }
        }
    }

    FileDialog {
        id: saveDialog
        title: "Exporter le journal"
        fileMode: FileDialog.SaveFile
        currentFolder: help.proposedFolder
        selectedFile: help.proposedExport
        onAccepted: card.exportMessage = help.exportJournal(selectedFile)
    }

    EraseDialog {
        id: confirm
        onConfirmed: {
            help.eraseEverything()
            card.erased = true
        }
    }
}
