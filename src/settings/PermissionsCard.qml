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
    // In a Wayland session: how each service reaches the other applications.
    Repeater {
        model: permissions.routes
        delegate: ColumnLayout {
            id: routeLine
            required property var modelData
            Layout.fillWidth: true
            spacing: 8

            SettingsDivider {}
            SettingRow {
                label: routeLine.modelData.service
                detail: routeLine.modelData.route
            }
            // Selectable: the lines for the compositor are meant to be copied.
            TextEdit {
                Layout.fillWidth: true
                Layout.preferredWidth: routeLine.width
                Layout.bottomMargin: 6
                visible: text.length > 0
                text: routeLine.modelData.advice
                textFormat: TextEdit.PlainText
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                font.pixelSize: 12
                color: Theme.text
                selectionColor: Qt.alpha(Theme.accent, 0.35)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Accessible.description: routeLine.modelData.service
            }
        }
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
