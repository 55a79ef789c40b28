import QtQuick
import QtQuick.Layouts
import Ombry

// The engines, and what acts while the user speaks.
ColumnLayout {
    spacing: 16

    EngineCard {
        Layout.fillWidth: true
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "Pendant que tu parles"

        SettingRow {
            label: "Mots en direct"
            // Never on and silent: without a live transcriber the reason stands instead.
            detail: DictationController.livePreviewAvailable ? "Affiche ce que tu dis au fur et à mesure"
                                                             : "Indisponible sur Linux"
            icon: "text.bubble"
            SettingsSwitch {
                objectName: "livePreviewSwitch"
                label: "Mots en direct"
                enabled: DictationController.livePreviewAvailable
                on: enabled && AppSettings.livePreview
                Accessible.description: enabled ? "" : "Indisponible sur Linux"
                onToggled: value => AppSettings.livePreview = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Ton adapté à l'appli"
            detail: "Familier sur Discord, soigné dans Mail"
            icon: "theatermasks"
            SettingsSwitch {
                label: "Ton adapté à l'appli"
                on: AppSettings.adaptTone
                onToggled: value => AppSettings.adaptTone = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Mode commande"
            detail: "Sélectionne un texte, puis dicte ce qu'il faut en faire"
            icon: "wand.and.stars"
            SettingsSwitch {
                label: "Mode commande"
                on: AppSettings.voiceCommands
                onToggled: value => AppSettings.voiceCommands = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Ponctuation"
            detail: "Pour la dictée et pour la correction"
            icon: "textformat"
            SegmentedPicker {
                width: 240
                label: "Ponctuation"
                labels: ["Légère", "Normale", "Complète"]
                current: AppSettings.punctuation
                onChosen: index => AppSettings.punctuation = index
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Lire la sélection à voix haute"
            icon: "speaker.wave.3"
            KeyChip {
                text: "Ctrl+Alt+R"
            }
        }
    }
}
