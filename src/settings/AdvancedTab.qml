import QtQuick
import QtQuick.Layouts
import Ombry

// The last settings tab: performance, typing speed, help and the version.
ColumnLayout {
    id: tab
    spacing: 16

    HelpModel { id: about }

    Card {
        Layout.fillWidth: true
        padding: 18
        ColumnLayout {
            width: parent.width
            spacing: 12
            SectionTitle { text: "Performances" }
            CardRow {
                Layout.fillWidth: true
                symbol: "laptopcomputer"
                label: "Ton ordinateur"
                Text {
                    text: about.deviceSummary
                    color: Theme.secondaryText
                    font.pixelSize: 12
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            CardDivider {}
            CardRow {
                Layout.fillWidth: true
                symbol: "sparkles"
                label: "Effets visuels"
                Repeater {
                    model: [["Automatique", Ombry.PerformanceMode.Auto], ["Léger", Ombry.PerformanceMode.Light],
                            ["Complet", Ombry.PerformanceMode.Full]]
                    delegate: GlassButton {
                        required property var modelData
                        text: modelData[0]
                        checkable: true
                        checked: AppSettings.performanceMode === modelData[1]
                        textColor: checked ? Theme.accent : Theme.text
                        Accessible.checkable: true
                        Accessible.checked: checked
                        onClicked: AppSettings.performanceMode = modelData[1]
                    }
                }
            }
            Text {
                Layout.fillWidth: true
                text: Theme.plain ? "Mode léger : toutes les fonctions sont là, avec moins d'effets de verre et d'animations."
                                  : "Mode complet : effets de verre et animations au maximum."
                color: Theme.secondaryText
                font.pixelSize: 12
                wrapMode: Text.WordWrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }

    Card {
        Layout.fillWidth: true
        padding: 18
        ColumnLayout {
            width: parent.width
            spacing: 12
            SectionTitle { text: "Statistiques" }
            CardRow {
                Layout.fillWidth: true
                symbol: "speedometer"
                label: "Ma vitesse au clavier"
                detail: "Sert à calculer le temps gagné"
                KeyField {
                    Layout.preferredWidth: 60
                    echoMode: TextInput.Normal
                    name: "Ma vitesse au clavier"
                    Accessible.passwordEdit: false
                    text: about.typingWPM.toLocaleString(Qt.locale(), "f", 0)
                    validator: IntValidator { bottom: 1; top: 100000 }
                    onEditingFinished: {
                        const v = Number.fromLocaleString(Qt.locale(), text)
                        if (!isNaN(v) && v > 0)
                            about.typingWPM = v
                    }
                }
                GlassButton {
                    text: "−"
                    Accessible.name: "Moins vite"
                    enabled: about.typingWPM > 5
                    onClicked: about.typingWPM = Math.max(5, about.typingWPM - 1)
                }
                GlassButton {
                    text: "+"
                    Accessible.name: "Plus vite"
                    enabled: about.typingWPM < 200
                    onClicked: about.typingWPM = Math.min(200, about.typingWPM + 1)
                }
                Text {
                    text: "mots/min"
                    color: Theme.secondaryText
                    font.pixelSize: 12
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }

    HelpCard { Layout.fillWidth: true }

    RowLayout {
        Layout.fillWidth: true
        Layout.topMargin: 6
        Item { Layout.fillWidth: true }
        Text {
            text: "Ombry Voice " + about.version
            color: Theme.secondaryText
            font.pixelSize: 12
            textFormat: Text.PlainText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item { Layout.fillWidth: true }
    }
}
