pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Ombry

// The first-run walk-through: the permissions, the OpenRouter key, then the
// dictation key and language.
Card {
    id: view
    property int step: 0
    readonly property int steps: 3
    // "Continuer" was pressed on a typed key: go on once it is checked and kept.
    property bool advanceAfterCheck: false

    width: 520
    padding: 28

    PermissionsModel {
        id: permissions
        interval: 1000
        microphoneList: MicrophoneList
        active: view.visible
    }
    GeneralChoices {
        id: choices
        settings: AppSettings
        microphoneList: MicrophoneList
        controller: DictationController
    }
    OnboardingKey {
        id: openRouterKey
        keys: KeyStore
        onChanged: {
            if (view.advanceAfterCheck && !checking) {
                view.advanceAfterCheck = false
                if (canContinue)
                    view.step = 2
            }
        }
    }

    ColumnLayout {
        width: parent.width
        spacing: 20

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            // One capsule per step: filled up to the current one, which is wide.
            Repeater {
                model: view.steps
                delegate: Rectangle {
                    required property int index
                    implicitWidth: view.step === index ? 26 : 10
                    implicitHeight: 6
                    radius: 3
                    color: view.step >= index ? Theme.accent : Theme.separator
                }
            }
            Item { Layout.fillWidth: true }
            Text {
                text: (view.step + 1) + " sur " + view.steps
                color: Theme.secondaryText
                font.pixelSize: 12
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.minimumHeight: 230
            implicitHeight: Math.max(230, [permissionsStep, apiKeyStep, keyStep][view.step].implicitHeight)

            ColumnLayout {
                id: permissionsStep
                visible: view.step === 0
                width: parent.width
                spacing: 14
                Text {
                    text: "Bienvenue dans Ombry Voice"
                    color: Theme.text
                    font.pixelSize: 24
                    font.bold: true
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    Layout.fillWidth: true
                    text: "Deux autorisations, et tu peux dicter dans toutes tes applis."
                    color: Theme.secondaryText
                    font.pixelSize: 13
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                PermissionRow {
                    icon: "mic"
                    label: "Micro"
                    detail: "Pour t'entendre quand tu dictes"
                    granted: permissions.microphone
                    known: permissions.checked
                    canOpen: permissions.canOpenSound
                    alwaysButton: false
                    onOpen: permissions.openSettings("microphone")
                }
                PermissionRow {
                    icon: "accessibility"
                    label: "Accessibilité"
                    detail: "Pour écrire le texte là où se trouve ton curseur"
                    granted: permissions.accessibility
                    known: permissions.checked
                    // No settings program grants it: the explanation says why when missing.
                    canOpen: false
                    alwaysButton: false
                    onOpen: permissions.openSettings("accessibility")
                }
                Text {
                    visible: permissions.explanation.length > 0
                    Layout.fillWidth: true
                    text: permissions.explanation
                    color: Theme.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            ColumnLayout {
                id: apiKeyStep
                visible: view.step === 1
                width: parent.width
                spacing: 14
                Text {
                    text: "Ta clé OpenRouter"
                    color: Theme.text
                    font.pixelSize: 24
                    font.bold: true
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    Layout.fillWidth: true
                    text: "Ombry Voice transcrit et met en forme tes dictées avec OpenRouter, grâce à ta propre clé."
                    color: Theme.secondaryText
                    font.pixelSize: 13
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    Layout.fillWidth: true
                    text: "Crée-la sur openrouter.ai, rubrique « Keys », puis colle-la ici."
                    color: Theme.secondaryText
                    font.pixelSize: 13
                    wrapMode: Text.WordWrap
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8
                    SettingsField {
                        id: keyField
                        Layout.fillWidth: true
                        secret: true
                        font.family: "monospace"
                        label: "Clé OpenRouter"
                        placeholderText: openRouterKey.stored ? openRouterKey.masked : "sk-or-…"
                        onAccepted: openRouterKey.check(value())
                    }
                    GlassButton {
                        text: "Vérifier"
                        enabled: !openRouterKey.checking
                        Accessible.name: "Vérifier la clé OpenRouter"
                        onClicked: openRouterKey.check(keyField.value())
                    }
                }
                Text {
                    objectName: "keyVerdict"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    text: openRouterKey.verdict
                    color: openRouterKey.accepted || openRouterKey.checking ? Theme.secondaryText : Theme.red
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    wrapMode: Text.WordWrap
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: text
                }
                Text {
                    visible: openRouterKey.localAnswers && !openRouterKey.stored
                    Layout.fillWidth: true
                    text: "Un serveur local de reconnaissance répond : tu peux passer cette étape."
                    color: Theme.secondaryText
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            ColumnLayout {
                id: keyStep
                visible: view.step === 2
                width: parent.width
                spacing: 14
                Text {
                    text: "Ta touche de dictée"
                    color: Theme.text
                    font.pixelSize: 24
                    font.bold: true
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    Layout.fillWidth: true
                    text: "Maintiens-la, parle, relâche : le texte s'écrit tout seul, propre et ponctué. Une simple pression lance la dictée sans les mains."
                    color: Theme.secondaryText
                    font.pixelSize: 13
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                SettingRow {
                    label: "Touche"
                    icon: "keyboard"
                    // The settings page's keys: Fn is never offered.
                    SettingsPicker {
                        width: 220
                        label: "Touche"
                        model: choices.keys
                        textRole: "label"
                        current: choices.keyIndex
                        onChosen: index => choices.chooseKey(index)
                    }
                }
                SettingRow {
                    label: "Langue"
                    icon: "character.bubble"
                    SettingsPicker {
                        width: 220
                        label: "Langue"
                        model: ["Automatique (je parle plusieurs langues)", "Français", "Anglais", "Espagnol",
                                "Allemand", "Italien"]
                        current: AppSettings.language
                        onChosen: index => AppSettings.language = index
                    }
                }
                SettingRow {
                    label: "Corriger un texte sélectionné"
                    icon: "checkmark.seal"
                    KeyChip { text: "Ctrl+C ×2" }
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            GlassButton {
                visible: view.step > 0
                text: "Retour"
                onClicked: view.step = view.step - 1
            }
            Item { Layout.fillWidth: true }
            ProminentButton {
                text: view.step === view.steps - 1 ? "Commencer" : "Continuer"
                // The key step is passed with a key, or a local server.
                enabled: view.step !== 1 || openRouterKey.canContinue || keyField.length > 0
                onClicked: {
                    if (view.step === view.steps - 1) {
                        InterfaceKeys.onboarded = true
                    } else if (view.step === 1 && keyField.length > 0) {
                        view.advanceAfterCheck = true
                        openRouterKey.check(keyField.value())
                    } else {
                        view.step = view.step + 1
                    }
                }
            }
        }
    }
}
