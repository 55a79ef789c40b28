import QtQuick
import QtQuick.Layouts
import Ombry

// The dictation key, the microphone, the language and the application's options.
ColumnLayout {
    id: tab
    spacing: 16

    GeneralChoices {
        id: choices
        settings: AppSettings
        microphoneList: MicrophoneList
        controller: DictationController
    }

    readonly property var languages: ["Automatique (je parle plusieurs langues)", "Français", "Anglais", "Espagnol", "Allemand", "Italien"]

    SettingsGroup {
        Layout.fillWidth: true
        title: "Pour dicter"

        SettingRow {
            label: "Touche"
            detail: choices.keyHint.length > 0 ? choices.keyHint : "Maintiens-la pour parler, tape une fois pour dicter sans les mains"
            icon: "keyboard"
            SettingsPicker {
                objectName: "keyPicker"
                width: 220
                label: "Touche"
                model: choices.keys
                textRole: "label"
                current: choices.keyIndex
                onChosen: index => choices.chooseKey(index)
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Micro"
            icon: "mic"
            SettingsPicker {
                objectName: "microphonePicker"
                width: 220
                label: "Micro"
                model: choices.microphones
                textRole: "name"
                current: choices.microphoneIndex
                onChosen: index => choices.chooseMicrophone(index)
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Langue"
            icon: "character.bubble"
            SettingsPicker {
                objectName: "languagePicker"
                width: 220
                label: "Langue"
                model: tab.languages
                current: AppSettings.language
                onChosen: index => AppSettings.language = index
            }
        }
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "L'appli"

        SettingRow {
            label: "Ouvrir au démarrage de l'ordinateur"
            icon: "power"
            SettingsSwitch {
                label: "Ouvrir au démarrage de l'ordinateur"
                on: choices.launchAtLogin
                onToggled: value => choices.setLaunchAtLogin(value)
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Sons de début et de fin"
            icon: "speaker.wave.2"
            SettingsSwitch {
                label: "Sons de début et de fin"
                on: AppSettings.sounds
                onToggled: value => AppSettings.sounds = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Remettre mon presse-papiers"
            detail: "Ce que tu avais copié revient après chaque dictée"
            icon: "doc.on.clipboard"
            SettingsSwitch {
                label: "Remettre mon presse-papiers"
                on: AppSettings.restoreClipboard
                onToggled: value => AppSettings.restoreClipboard = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Thème"
            icon: "circle.lefthalf.filled"
            SegmentedPicker {
                width: 200
                label: "Thème"
                labels: ["Clair", "Sombre"]
                current: AppSettings.theme
                onChosen: index => AppSettings.theme = index
            }
        }
    }
}
