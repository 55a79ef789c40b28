import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// Asks before erasing everything. Cancel has the focus: Return and Escape keep the data.
Popup {
    id: dialog
    signal confirmed()

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    focus: true
    padding: 22
    closePolicy: Popup.CloseOnEscape
    onOpened: cancel.forceActiveFocus()

    background: Rectangle {
        radius: 16
        color: Theme.cardBackground
        border.width: 1
        border.color: Theme.separator
    }

    ColumnLayout {
        spacing: 14
        Text {
            Layout.preferredWidth: 360
            text: "Effacer toutes les données d'Ombry Voice ?"
            color: Theme.text
            font.pixelSize: 15
            font.weight: Font.DemiBold
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            Layout.preferredWidth: 360
            text: "Historique, dictionnaire, raccourcis vocaux, réunions, audios et clés seront supprimés de cet ordinateur."
            color: Theme.secondaryText
            font.pixelSize: 12
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8
            GlassButton {
                id: cancel
                text: "Annuler"
                Keys.onReturnPressed: dialog.close()
                Keys.onEnterPressed: dialog.close()
                onClicked: dialog.close()
            }
            GlassButton {
                id: erase
                text: "Tout effacer"
                textColor: Theme.red
                // Only an explicit press erases; Return never does.
                Keys.onReturnPressed: event => event.accepted = true
                Keys.onEnterPressed: event => event.accepted = true
                onClicked: {
                    dialog.close()
                    dialog.confirmed()
                }
            }
        }
    }
}
