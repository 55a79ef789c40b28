import QtQuick
import QtQuick.Layouts
import Ombry

// Own keys: the switch of the advanced mode and, while it is on, one row per service.
Card {
    id: group
    padding: 18


    ColumnLayout {
        width: parent.width
        spacing: 12

        SectionTitle { text: "Clés d'API" }

        CardRow {
            Layout.fillWidth: true
            symbol: "key"
            label: "Mode avancé"
            detail: "Utiliser mes propres clés OpenRouter et Deepgram"
            CardSwitch {
                name: "Mode avancé"
                checked: AppSettings.ownKeyMode
                onToggled: AppSettings.ownKeyMode = checked
            }
        }

        Repeater {
            model: AppSettings.ownKeyMode ? [["openRouter", "OpenRouter"], ["deepgram", "Deepgram"]] : []
            delegate: ColumnLayout {
                id: keyRow
                required property var modelData
                required property int index
                readonly property string service: modelData[0]
                property bool editing: false
                property string failure

                ApiKeysModel { id: rowKeys }

                function commit() {
                    keyRow.failure = rowKeys.save(keyRow.service, field.text)
                    if (keyRow.failure.length === 0) {
                        field.text = ""
                        keyRow.editing = false
                    }
                }

                Layout.fillWidth: true
                spacing: 8

                CardDivider { visible: keyRow.index > 0 }

                CardRow {
                    Layout.fillWidth: true
                    symbol: "key"
                    label: keyRow.modelData[1]
                    Text {
                        // Redrawn whenever the keys change.
                        text: KeyStore.masked[keyRow.service] !== undefined ? KeyStore.masked[keyRow.service] : "Absente"
                        color: Theme.secondaryText
                        font.family: "monospace"
                        font.pixelSize: 12
                        textFormat: Text.PlainText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: "Clé " + keyRow.modelData[1] + " : " + text
                    }
                    GlassButton {
                        visible: !keyRow.editing
                        text: "Modifier"
                        Accessible.name: "Modifier la clé " + keyRow.modelData[1]
                        onClicked: {
                            keyRow.failure = ""
                            field.text = ""
                            keyRow.editing = true
                            field.forceActiveFocus()
                        }
                    }
                }
                RowLayout {
                    visible: keyRow.editing
                    Layout.fillWidth: true
                    spacing: 8
                    KeyField {
                        id: field
                        Layout.fillWidth: true
                        name: "Nouvelle clé " + keyRow.modelData[1]
                        placeholderText: KeyStore.masked[keyRow.service] !== undefined ? "Nouvelle clé (vide pour la retirer)" : "Colle ta clé ici"
                        onAccepted: keyRow.commit()
                        Keys.onEscapePressed: { text = ""; keyRow.editing = false }
                    }
                    ProminentButton {
                        text: "Enregistrer"
                        Accessible.name: "Enregistrer la clé " + keyRow.modelData[1]
                        onClicked: keyRow.commit()
                    }
                }
                Text {
                    visible: keyRow.failure.length > 0
                    Layout.fillWidth: true
                    text: keyRow.failure
                    color: Theme.red
                    font.pixelSize: 12
                    textFormat: Text.PlainText
                    wrapMode: Text.WordWrap
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: text
                }
            }
        }
    }
}
