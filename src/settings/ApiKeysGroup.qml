pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Ombry

// Own keys: one row per service. Where a hosted service exists, the rows wait
// behind the switch of the advanced mode; without one they are the way in.
SettingsGroup {
    id: group
    title: "Clés d'API"

    ApiKeysModel {
        id: keysModel
        keys: KeyStore
    }

    NoticeBanner {
        objectName: "keysUnreadable"
        Layout.fillWidth: true
        text: KeyStore.unreadableNotice
        onClosed: text = ""
    }

    SettingRow {
        visible: !keysModel.rowsAlwaysShown
        label: "Mode avancé"
        detail: "Utiliser mes propres clés OpenRouter et Deepgram"
        icon: "key"
        SettingsSwitch {
            label: "Mode avancé"
            on: AppSettings.ownKeyMode
            onToggled: value => AppSettings.ownKeyMode = value
        }
    }

    Repeater {
        model: AppSettings.ownKeyMode || keysModel.rowsAlwaysShown ? [["openRouter", "OpenRouter"], ["deepgram", "Deepgram"]] : []
        delegate: ColumnLayout {
            id: keyRow
            required property var modelData
            required property int index
            readonly property string service: modelData[0]
            readonly property string name: modelData[1]
            readonly property bool stored: KeyStore.masked[service] !== undefined
            // Without a hosted service a missing OpenRouter key is what to do
            // first: its field waits open.
            property bool editing: keysModel.rowsAlwaysShown && keyRow.service === "openRouter" && !keyRow.stored
            property string failure

            ApiKeysModel {
                id: rowKeys
                keys: KeyStore
            }

            // The field opens empty over the masked key: a view never gets a
            // stored key's text, and a field left blank keeps the key.
            function commit() {
                keyRow.failure = rowKeys.save(keyRow.service, field.value())
                if (keyRow.failure.length === 0) {
                    field.clear()
                    keyRow.editing = false
                }
            }
            function remove() {
                keyRow.failure = rowKeys.remove(keyRow.service)
                if (keyRow.failure.length === 0) {
                    field.clear()
                    keyRow.editing = false
                }
            }

            Layout.fillWidth: true
            spacing: 12

            SettingsDivider { visible: keyRow.index > 0 }

            SettingRow {
                label: keyRow.name
                icon: "key"
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    // Redrawn whenever the keys change.
                    text: keyRow.stored ? KeyStore.masked[keyRow.service] : "Absente"
                    color: Theme.secondaryText
                    font.family: "monospace"
                    font.pixelSize: 12
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Accessible.description: "Clé " + keyRow.name
                }
                GlassButton {
                    anchors.verticalCenter: parent.verticalCenter
                    visible: !keyRow.editing
                    text: "Modifier"
                    Accessible.name: "Modifier la clé " + keyRow.name
                    onClicked: {
                        keyRow.failure = ""
                        field.clear()
                        keyRow.editing = true
                        field.forceActiveFocus()
                    }
                }
            }
            RowLayout {
                visible: keyRow.editing
                Layout.fillWidth: true
                spacing: 8
                SettingsField {
                    id: field
                    Layout.fillWidth: true
                    secret: true
                    font.family: "monospace"
                    label: "Nouvelle clé " + keyRow.name
                    placeholderText: keyRow.stored ? KeyStore.masked[keyRow.service] + " (vide pour la garder)"
                                                   : "Colle ta clé ici"
                    onAccepted: keyRow.commit()
                    Keys.onEscapePressed: {
                        clear()
                        keyRow.failure = ""
                        keyRow.editing = false
                    }
                }
                GlassButton {
                    visible: keyRow.stored
                    text: "Supprimer"
                    Accessible.name: "Supprimer la clé " + keyRow.name
                    onClicked: keyRow.remove()
                }
                ProminentButton {
                    text: "Enregistrer"
                    Accessible.name: "Enregistrer la clé " + keyRow.name
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
