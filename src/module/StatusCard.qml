import QtQuick
import QtQuick.Layouts
import Ombry

// What the program is doing, at the foot of the sidebar: a dot, a line, and
// the key to hold.
Rectangle {
    id: card

    // A meeting being recorded outranks the dictation.
    property bool meetingRecording: false
    readonly property int dictationState: DictationController.state
    readonly property bool keyMissing: EngineReadiness.keyMissing
    readonly property string title: titleFor(meetingRecording, dictationState, DictationController.translating, keyMissing)
    readonly property color dotColor: colorFor(meetingRecording, dictationState, keyMissing)

    readonly property color red: "#FF3B30"
    readonly property color green: "#34C759"
    readonly property color orange: "#FF9500"

    function titleFor(meeting, state, translating, missing) {
        if (meeting)
            return "Réunion en cours"
        switch (state) {
        case DictationController.Recording:
            return "J'écoute…"
        case DictationController.Processing:
            return "Mise au propre…"
        case DictationController.Correcting:
            return translating ? "Traduction…" : "Correction…"
        default:
            return missing ? "Clé OpenRouter manquante" : "Prêt"
        }
    }

    function colorFor(meeting, state, missing) {
        if (meeting || state === DictationController.Recording)
            return red
        return state === DictationController.Idle && !missing ? green : orange
    }

    implicitHeight: row.implicitHeight + 24
    radius: 16
    color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.05)
    Accessible.role: Accessible.StatusBar
    Accessible.name: title

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 12
        spacing: 10

        Item {
            implicitWidth: 8
            implicitHeight: 8

            // A soft halo of plain discs, cheaper than a blur; the dictation
            // alone lights it, also during a meeting.
            Item {
                anchors.centerIn: parent
                visible: card.dictationState !== DictationController.Idle

                Rectangle {
                    anchors.centerIn: parent
                    width: 18; height: 18; radius: 9
                    color: Qt.alpha(card.dotColor, 0.16)
                }
                Rectangle {
                    anchors.centerIn: parent
                    width: 14; height: 14; radius: 7
                    color: Qt.alpha(card.dotColor, 0.26)
                }
                Rectangle {
                    anchors.centerIn: parent
                    width: 11; height: 11; radius: 5.5
                    color: Qt.alpha(card.dotColor, 0.42)
                }
            }

            Rectangle {
                id: dot
                anchors.fill: parent
                radius: 4
                color: card.dotColor
                Behavior on color {
                    ColorAnimation { duration: 200; easing.type: Easing.OutCubic }
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2

            Text {
                objectName: "statusTitle"
                Layout.fillWidth: true
                text: card.title
                color: Theme.text
                font.pixelSize: 12
                font.weight: Font.DemiBold
                // "Clé OpenRouter manquante" is wider than the sidebar: it wraps, whole.
                wrapMode: Text.WordWrap
                maximumLineCount: 2
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Text {
                objectName: "statusKey"
                Layout.fillWidth: true
                text: AppSettings.keyLabel
                color: Theme.secondaryText
                font.pixelSize: 11
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
