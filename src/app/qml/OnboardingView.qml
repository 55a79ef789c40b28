import QtQuick
import QtQuick.Layouts
import Ombry

// The first-run walk-through: the permissions, then the dictation key and language.
Card {
    id: view
    property int step: 0
    readonly property int steps: 2

    width: 520
    padding: 28

    PermissionsModel {
        id: permissions
        interval: 1000
        active: view.visible
    }
    OnboardingModel { id: onboarding }

    ColumnLayout {
        width: parent.width
        spacing: 20

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            // One capsule per step: filled up to the current one, which is wide.
            Rectangle {
                implicitWidth: view.step === 0 ? 26 : 10
                implicitHeight: 6
                radius: 3
                color: Theme.accent
            }
            Rectangle {
                implicitWidth: view.step === 1 ? 26 : 10
                implicitHeight: 6
                radius: 3
                color: view.step >= 1 ? Theme.accent : Theme.separator
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
            implicitHeight: Math.max(230, (view.step === 0 ? permissionsStep : keyStep).implicitHeight)

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
                    symbol: "mic"
                    label: "Micro"
                    detail: "Pour t'entendre quand tu dictes"
                    granted: permissions.microphone
                    alwaysButton: false
                    onOpen: permissions.openSettings("microphone")
                }
                PermissionRow {
                    symbol: "accessibility"
                    label: "Accessibilité"
                    detail: "Pour écrire le texte là où se trouve ton curseur"
                    granted: permissions.accessibility
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
                id: keyStep
                visible: view.step === 1
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
                CardRow {
                    Layout.fillWidth: true
                    symbol: "keyboard"
                    label: "Touche"
                    Repeater {
                        // No Fn: X11 never sees it.
                        model: [["Option droite", Ombry.DictationKey.RightOption], ["Super droite", Ombry.DictationKey.RightCommand],
                                ["Ctrl droite", Ombry.DictationKey.RightControl]]
                        delegate: GlassButton {
                            required property var modelData
                            text: modelData[0]
                            checkable: true
                            checked: AppSettings.key === modelData[1]
                            textColor: checked ? Theme.accent : Theme.text
                            Accessible.checkable: true
                            Accessible.checked: checked
                            onClicked: {
                                checked = Qt.binding(() => AppSettings.key === modelData[1])
                                if (AppSettings.key !== modelData[1])
                                    onboarding.pickKey(modelData[1])
                            }
                        }
                    }
                }
                CardRow {
                    Layout.fillWidth: true
                    symbol: "character.bubble"
                    label: "Langue"
                    GlassButton {
                        id: languageButton
                        readonly property var names: ["Automatique (je parle plusieurs langues)", "Français", "Anglais",
                                                      "Espagnol", "Allemand", "Italien"]
                        text: names[AppSettings.language] + "  ▾"
                        Accessible.name: "Langue : " + names[AppSettings.language]
                        onClicked: languageMenu.open()
                        LanguageMenu {
                            id: languageMenu
                            names: languageButton.names
                        }
                    }
                }
                CardRow {
                    Layout.fillWidth: true
                    symbol: "checkmark.seal"
                    label: "Corriger un texte sélectionné"
                    Rectangle {
                        implicitWidth: chip.implicitWidth + 14
                        implicitHeight: 24
                        radius: 6
                        color: Theme.accentLight
                        Text {
                            id: chip
                            anchors.centerIn: parent
                            text: "Ctrl+C ×2"
                            color: Theme.text
                            font.pixelSize: 12
                            font.family: "monospace"
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                    }
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
                onClicked: {
                    if (view.step === view.steps - 1)
                        InterfaceKeys.onboarded = true
                    else
                        view.step = view.step + 1
                }
            }
        }
    }
}
