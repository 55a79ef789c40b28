import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// One entry of the history: a dictation (words, speed, replay) or a correction record
// (action, count of fixes), its text selectable, the second text folded away. The fold
// is kept by the model, by entry.
Card {
    id: row
    required property int index
    required property string kind
    required property string time
    required property string appName
    required property string bundleID
    required property string text
    required property string secondText
    required property string words
    required property string speed
    required property string action
    required property string fixCount
    required property bool hasAudio
    required property bool expanded
    required property bool untranscribed
    required property bool transcribing
    required property string problem
    readonly property HistoryListModel entries: ListView.view ? ListView.view.model as HistoryListModel : null

    readonly property bool dictation: kind === "dictation"

    objectName: "historyRow" + index
    width: ListView.view ? ListView.view.width : 0
    padding: 20

    ColumnLayout {
        width: parent.width
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            PageLabel {
                text: row.time
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: Theme.text
            }
            AppBadge {
                name: row.appName
                bundleId: row.bundleID
                size: 20
            }
            PageLabel {
                text: row.appName
                textFormat: Text.PlainText
                font.pixelSize: 12
                color: Theme.secondaryText
            }
            PageLabel {
                visible: row.dictation
                text: row.words
                font.pixelSize: 12
                color: Theme.secondaryText
            }
            PageLabel {
                visible: row.dictation
                text: row.speed
                font.pixelSize: 12
                color: Theme.secondaryText
            }
            Rectangle {
                visible: !row.dictation
                implicitWidth: tag.implicitWidth + 14
                implicitHeight: tag.implicitHeight + 4
                radius: height / 2
                color: Theme.accentLight
                PageLabel {
                    id: tag
                    anchors.centerIn: parent
                    text: row.action
                    textFormat: Text.PlainText
                    font.pixelSize: 10
                    font.weight: Font.DemiBold
                    color: Theme.accent
                }
            }
            PageLabel {
                visible: !row.dictation && row.fixCount.length > 0
                text: row.fixCount
                font.pixelSize: 12
                color: Theme.secondaryText
            }
            Item {
                Layout.fillWidth: true
            }
            HistoryIconButton {
                symbol: "doc.on.doc"
                label: "Copier"
                onClicked: row.entries.copy(row.index)
            }
            HistoryIconButton {
                objectName: "replay"
                visible: row.dictation
                symbol: "play.fill"
                label: "Rejouer"
                enabled: row.hasAudio
                onClicked: row.entries.replay(row.index)
            }
        }

        TextEdit {
            Layout.fillWidth: true
            text: row.text
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 14
            font.italic: row.untranscribed
            color: row.untranscribed ? Theme.secondaryText : Theme.text
            selectionColor: Qt.alpha(Theme.accent, 0.35)
            selectedTextColor: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        // A recording kept without its text: transcribed again on demand.
        RowLayout {
            Layout.fillWidth: true
            visible: row.untranscribed
            spacing: 10

            GlassButton {
                objectName: "transcribe"
                text: row.transcribing ? "Transcription…" : "Transcrire"
                enabled: !row.transcribing && row.hasAudio
                opacity: enabled ? 1 : 0.45
                onClicked: row.entries.transcribe(row.index)
            }
            PageLabel {
                Layout.fillWidth: true
                visible: row.problem.length > 0
                text: row.problem
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: Theme.red
            }
        }

        AbstractButton {
            id: fold
            Layout.fillWidth: true
            visible: !row.untranscribed
            checkable: true
            checked: row.expanded
            text: row.dictation ? "Transcription brute" : "Texte d'origine"
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.checkable: true
            Accessible.checked: checked
            onClicked: row.entries.setExpanded(row.index, !row.expanded)

            contentItem: Row {
                spacing: 4
                PageLabel {
                    text: "\u25B8"
                    Accessible.ignored: true
                    font.pixelSize: 11
                    color: Theme.secondaryText
                    rotation: row.expanded ? 90 : 0
                }
                PageLabel {
                    text: fold.text
                    font.pixelSize: 12
                    color: Theme.secondaryText
                }
            }
        }

        TextEdit {
            Layout.fillWidth: true
            Layout.topMargin: 4
            visible: row.expanded
            text: row.secondText
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 12
            color: Theme.secondaryText
            selectionColor: Qt.alpha(Theme.accent, 0.35)
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
