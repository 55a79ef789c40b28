import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// One saved meeting: title, date and length, summary, tasks to tick, the
// transcript folded away. The ticks and the fold are the card's own.
Card {
    id: card

    required property int index
    required property var model
    required property var date
    required property real duration
    required property string title
    required property string transcript
    required property string summary
    required property var tasks

    readonly property string meetingId: model.id
    property bool showTranscript: false

    objectName: "meetingCard" + index
    padding: 20

    ColumnLayout {
        width: parent.width
        spacing: 12

        RowLayout {
            Layout.fillWidth: true

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2

                Text {
                    Layout.fillWidth: true
                    text: card.title
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pixelSize: 16
                    font.bold: true
                    color: Theme.text
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    text: MeetingRecorder.cardLine(card.date, card.duration)
                    textFormat: Text.PlainText
                    font.pixelSize: 12
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            GlassButton {
                objectName: "copyMeeting"
                symbol: "doc.on.doc"
                text: "Copier"
                font.pixelSize: 12
                onClicked: MeetingRecorder.copy(card.title, card.summary, card.tasks)
            }
            GlassButton {
                objectName: "deleteMeeting"
                symbol: "trash"
                text: ""
                textColor: Theme.red
                Accessible.name: "Supprimer"
                onClicked: MeetingRecorder.remove(card.meetingId)
            }
        }

        TextEdit {
            Layout.fillWidth: true
            visible: card.summary.length > 0
            text: card.summary
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 14
            color: Theme.text
            selectionColor: Qt.alpha(Theme.accent, 0.35)
            selectedTextColor: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        ColumnLayout {
            Layout.fillWidth: true
            visible: card.tasks.length > 0
            spacing: 6

            Text {
                text: "À faire"
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: Theme.accentText
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Repeater {
                model: card.tasks

                AbstractButton {
                    id: task
                    required property int index
                    required property string modelData
                    // Ticked rows are the card's view state, lost with it.
                    property bool ticked: false

                    Layout.fillWidth: true
                    checkable: true
                    checked: ticked
                    text: modelData
                    Accessible.role: Accessible.CheckBox
                    Accessible.name: modelData
                    Accessible.checkable: true
                    Accessible.checked: ticked
                    Accessible.onPressAction: ticked = !ticked
                    Accessible.onToggleAction: ticked = !ticked
                    onClicked: ticked = !ticked

                    contentItem: RowLayout {
                        spacing: 8
                        Symbol {
                            Layout.alignment: Qt.AlignTop
                            name: task.ticked ? "checkmark.circle.fill" : "circle"
                            color: Theme.accent
                            size: 15
                        }
                        Text {
                            Layout.fillWidth: true
                            text: task.modelData
                            textFormat: Text.PlainText
                            wrapMode: Text.WordWrap
                            font.pixelSize: 13
                            font.strikeout: task.ticked
                            color: task.ticked ? Theme.secondaryText : Theme.text
                        }
                    }
                    background: Item {}
                }
            }
        }

        AbstractButton {
            id: fold
            Layout.fillWidth: true
            checkable: true
            checked: card.showTranscript
            text: "Transcription complète"
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.checkable: true
            Accessible.checked: checked
            Accessible.onPressAction: card.showTranscript = !card.showTranscript
            Accessible.onToggleAction: card.showTranscript = !card.showTranscript
            onClicked: card.showTranscript = !card.showTranscript

            contentItem: Row {
                spacing: 4
                Text {
                    text: card.showTranscript ? "\u25BE" : "\u25B8"
                    font.pixelSize: 11
                    color: Theme.secondaryText
                }
                Text {
                    text: fold.text
                    font.pixelSize: 12
                    color: Theme.secondaryText
                }
            }
            background: Item {}
        }

        TextEdit {
            Layout.fillWidth: true
            Layout.topMargin: 4
            visible: card.showTranscript
            text: card.transcript
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 12
            color: Theme.secondaryText
            selectionColor: Qt.alpha(Theme.accent, 0.35)
            selectedTextColor: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
