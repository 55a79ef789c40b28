import QtQuick
import QtQuick.Layouts
import Ombry

// What the program needs of the system, polled while shown.
Card {
    id: card
    padding: 18

    PermissionsModel {
        id: permissions
        interval: 2000
        active: card.visible
    }

    ColumnLayout {
        width: parent.width
        spacing: 12

        SectionTitle { text: "Autorisations" }

        PermissionRow {
            symbol: "mic"
            label: "Micro"
            granted: permissions.microphone
            onOpen: permissions.openSettings("microphone")
        }
        CardDivider {}
        PermissionRow {
            symbol: "accessibility"
            label: "Accessibilité"
            granted: permissions.accessibility
            onOpen: permissions.openSettings("accessibility")
        }
        CardDivider {}
        PermissionRow {
            symbol: "speaker.wave.2"
            label: "Audio système (sous-titres d'appel)"
            granted: permissions.systemAudio
            onOpen: permissions.openSettings("systemAudio")
        }
        Text {
            visible: permissions.explanation.length > 0
            Layout.fillWidth: true
            text: permissions.explanation
            color: Theme.secondaryText
            font.pixelSize: 12
            textFormat: Text.PlainText
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
