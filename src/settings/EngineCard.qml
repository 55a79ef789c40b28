import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ombry

// The "Moteur" group: which engines transcribe and rewrite, and what 1 000
// dictations cost with them.
SettingsGroup {
    id: card
    // "stt" or "llm": the section whose editor is open.
    property string editing

    title: "Moteur"

    EngineChoices {
        id: engines
        settings: AppSettings
        keys: KeyStore
        store: Store
    }

    function indexOf(list, key, value) {
        for (let i = 0; i < list.length; ++i)
            if (list[i][key] === value)
                return i
        return -1
    }

    EngineSection {
        objectName: "sttSection"
        icon: "waveform"
        label: "Transcription"
        value: engines.sttLabel
        open: card.editing === "stt"
        onToggled: card.editing = open ? "" : "stt"

        SettingsPicker {
            Layout.preferredWidth: 380
            Layout.alignment: Qt.AlignRight
            label: "Moteur de transcription"
            model: engines.transcriptionOptions
            textRole: "label"
            current: card.indexOf(engines.transcriptionOptions, "value", AppSettings.transcriptionEngine)
            onChosen: index => AppSettings.transcriptionEngine = engines.transcriptionOptions[index].value
        }
        SettingsPicker {
            Layout.preferredWidth: 380
            Layout.alignment: Qt.AlignRight
            visible: AppSettings.transcriptionEngine === Ombry.TranscriptionEngine.Deepgram
            label: "Modèle Deepgram"
            model: engines.deepgramOptions
            textRole: "label"
            current: card.indexOf(engines.deepgramOptions, "id", AppSettings.deepgramModel)
            onChosen: index => AppSettings.deepgramModel = engines.deepgramOptions[index].id
        }
    }
    SettingsDivider {}
    EngineSection {
        objectName: "rewriteSection"
        icon: "sparkles"
        label: "Reformulation"
        value: engines.rewriteLabel
        open: card.editing === "llm"
        onToggled: card.editing = open ? "" : "llm"

        SettingsPicker {
            Layout.preferredWidth: 380
            Layout.alignment: Qt.AlignRight
            label: "Moteur de reformulation"
            model: engines.rewriteOptions
            textRole: "label"
            current: card.indexOf(engines.rewriteOptions, "value", AppSettings.rewriteEngine)
            onChosen: index => AppSettings.rewriteEngine = engines.rewriteOptions[index].value
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            visible: AppSettings.rewriteEngine === Ombry.RewriteEngine.OpenRouter && engines.throughOpenRouter
            spacing: 8

            SettingsPicker {
                Layout.preferredWidth: 380
                label: "Modèle OpenRouter"
                model: engines.openRouterOptions
                textRole: "label"
                current: card.indexOf(engines.openRouterOptions, "id", AppSettings.openRouterModel)
                onChosen: index => AppSettings.openRouterModel = engines.openRouterOptions[index].id
            }
            TextField {
                Layout.preferredWidth: 260
                text: AppSettings.openRouterModel
                font.pixelSize: 13
                color: Theme.text
                placeholderText: "identifiant du modèle"
                Accessible.role: Accessible.EditableText
                Accessible.name: "Identifiant du modèle OpenRouter"
                onTextEdited: AppSettings.openRouterModel = text
            }
        }
    }
    SettingsDivider {}
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        IconSquare { systemName: "internaldrive" }
        Text {
            text: "Historique"
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item { Layout.fillWidth: true }
        Text {
            text: "Local"
            font.pixelSize: 13
            color: Theme.secondaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    SettingsDivider {}
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        IconSquare { systemName: "eurosign" }
        Text {
            text: "Coût estimé"
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item { Layout.fillWidth: true }
        Text {
            objectName: "cost"
            text: engines.costText
            font.pixelSize: 13
            color: Theme.secondaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
