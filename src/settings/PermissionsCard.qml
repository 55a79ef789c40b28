import QtQuick
import QtQuick.Layouts
import Ombry

// What the program needs of the system, polled while shown.
SettingsGroup {
    id: card
    title: "Autorisations"

    PermissionsModel {
        id: permissions
        interval: 2000
        microphoneList: MicrophoneList
        active: card.visible
    }

    PermissionRow {
        icon: "mic"
        label: "Micro"
        granted: permissions.microphone
        known: permissions.checked
        canOpen: permissions.canOpenSound
        onOpen: permissions.openSettings("microphone")
    }
    SettingsDivider {}
    PermissionRow {
        icon: "accessibility"
        label: "Accessibilité"
        granted: permissions.accessibility
        known: permissions.checked
        // No settings program grants it: the explanation below says why when missing.
        canOpen: false
        onOpen: permissions.openSettings("accessibility")
    }
    SettingsDivider {}
    PermissionRow {
        icon: "speaker.wave.2"
        label: "Audio système (sous-titres d'appel)"
        granted: permissions.systemAudio
        known: permissions.checked
        canOpen: permissions.canOpenSound
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
