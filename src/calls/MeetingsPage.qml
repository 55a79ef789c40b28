import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The meetings page: the record button, the recorder's progress and the saved
// meetings, newest first.
Item {
    id: page

    readonly property bool recording: MeetingRecorder.state === MeetingRecorder.Recording
    readonly property bool processing: MeetingRecorder.state === MeetingRecorder.Processing
    property int elapsed: 0

    implicitHeight: layout.implicitHeight

    MeetingsSource {
        id: source
        store: Store
    }

    // The elapsed time, from the recorder's monotonic clock.
    Timer {
        running: page.recording
        interval: 1000
        repeat: true
        triggeredOnStart: true
        onTriggered: page.elapsed = MeetingRecorder.elapsedSeconds()
    }
    onRecordingChanged: elapsed = MeetingRecorder.elapsedSeconds()

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 18

        PageHeader {
            Layout.fillWidth: true
            title: "Réunions"

            ProminentButton {
                objectName: "recordButton"
                leftPadding: 22
                rightPadding: 22
                symbol: page.recording ? "stop.fill" : "record.circle"
                text: page.recording ? "Arrêter · " + MeetingRecorder.elapsedText(page.elapsed)
                                     : "Démarrer une réunion"
                tint: page.recording ? Theme.redFill : Theme.accentFill
                enabled: !page.processing
                onClicked: MeetingRecorder.toggle()
            }
        }

        NoticeBanner {
            Layout.fillWidth: true
            text: source.unreadableNotice
            onClosed: text = ""
        }

        // A recording that stopped by itself says why.
        Text {
            objectName: "meetingError"
            Layout.fillWidth: true
            visible: text.length > 0
            text: MeetingRecorder.error
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.red
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }

        Card {
            Layout.fillWidth: true
            visible: page.processing
            padding: 20

            RowLayout {
                width: parent.width
                spacing: 10

                Spinner {
                    running: page.processing
                    Accessible.ignored: true
                }
                Text {
                    Layout.fillWidth: true
                    text: MeetingRecorder.progress
                    textFormat: Text.PlainText
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    color: Theme.text
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Card {
            Layout.fillWidth: true
            visible: source.count === 0 && MeetingRecorder.state === MeetingRecorder.Idle
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 8

                RowLayout {
                    spacing: 8
                    Symbol {
                        name: "person.2.wave.2"
                        color: Theme.accent
                        size: 16
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "Enregistre une réunion, un appel ou une idée à voix haute"
                        wrapMode: Text.WordWrap
                        font.pixelSize: 14
                        font.weight: Font.DemiBold
                        color: Theme.text
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
                Text {
                    Layout.fillWidth: true
                    text: "Ombry Voice la transcrit, puis te donne un résumé et la liste des choses à faire."
                    wrapMode: Text.WordWrap
                    font.pixelSize: 13
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Repeater {
            model: source.meetings

            MeetingCard {
                Layout.fillWidth: true
            }
        }
    }
}
