import QtQuick
import QtQuick.Layouts
import Ombry

// Correcting the selection anywhere, the proofreading engines, and translation.
ColumnLayout {
    id: tab
    spacing: 16

    readonly property var targets: TranslationTargets.names

    SettingsGroup {
        Layout.fillWidth: true
        title: "Corriger dans toutes les applis"

        SettingRow {
            label: "Correction du texte sélectionné"
            icon: "checkmark.seal"
            SettingsSwitch {
                label: "Correction du texte sélectionné"
                on: AppSettings.correctionShortcut
                onToggled: value => AppSettings.correctionShortcut = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Raccourci"
            icon: "keyboard"
            SegmentedPicker {
                anchors.verticalCenter: parent.verticalCenter
                width: 220
                label: "Raccourci"
                labels: ["Ctrl+C deux fois", "Personnalisé"]
                current: AppSettings.correctionDoubleCopy ? 0 : 1
                onChosen: index => AppSettings.correctionDoubleCopy = index === 0
            }
            Loader {
                anchors.verticalCenter: parent.verticalCenter
                active: !AppSettings.correctionDoubleCopy
                visible: active
                sourceComponent: RecorderButton {}
            }
        }
        SettingsDivider {}
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 10
            SettingRow {
                label: "Ce que la correction peut changer"
                icon: "slider.horizontal.below.rectangle"
            }
            CorrectionScopeChips {
                Layout.fillWidth: true
                Layout.leftMargin: 40
            }
        }
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "Relecture"
        footer: "LanguageTool vérifie le texte en ligne, gratuitement. Le modèle local relit en plus, directement sur ton ordinateur."

        SettingRow {
            label: "LanguageTool"
            icon: "text.magnifyingglass"
            SettingsSwitch {
                label: "LanguageTool"
                on: AppSettings.useLanguageTool
                onToggled: value => AppSettings.useLanguageTool = value
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Modèle local"
            icon: "apple.intelligence"
            SettingsSwitch {
                label: "Modèle local"
                on: AppSettings.correctorUsesLocalModel
                onToggled: value => AppSettings.correctorUsesLocalModel = value
            }
        }
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "Traduire"

        SettingRow {
            label: "Traduire la sélection"
            detail: "Appuie trois fois sur Ctrl+C"
            icon: "globe"
            SettingsPicker {
                width: 200
                label: "Traduire la sélection"
                model: tab.targets.map(name => TranslationTargets.label(name))
                current: tab.targets.indexOf(AppSettings.translateTarget)
                onChosen: index => AppSettings.translateTarget = tab.targets[index]
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Traduire une dictée"
            detail: "Tiens Maj en appuyant sur ta touche de dictée"
            icon: "shift"
            KeyChip {
                text: "Maj"
            }
        }
        SettingsDivider {}
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 10
            SettingRow {
                label: "Toujours traduire mes dictées dans ces applis"
                icon: "app.badge"
            }
            TranslateAppsPicker {
                Layout.fillWidth: true
                Layout.leftMargin: 40
            }
        }
    }
}
