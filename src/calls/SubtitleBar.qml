import QtQuick
import QtQuick.Window
import Ombry

// The floating caption bar's content: the newest French lines of the call.
Window {
    id: bar
    width: 760
    height: 150
    color: "transparent"
    title: "Ombry Voice — sous-titres"

    readonly property bool running: CallTranslator.running
    readonly property bool hovered: hover.hovered

    HoverHandler {
        id: hover
    }

    Rectangle {
        id: background
        anchors.fill: parent
        radius: 20
        color: Qt.rgba(0, 0, 0, 0.62)

        // Dragging the background moves the bar.
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton
            onPressed: SubtitleWindow.startMove()
        }

        Column {
            anchors.centerIn: parent
            width: parent.width - 56
            spacing: 6

            Text {
                id: previousLine
                width: parent.width
                visible: SubtitleWindow.previousText !== ""
                text: SubtitleWindow.previousText
                textFormat: Text.PlainText
                font.pixelSize: 15
                font.weight: Font.Medium
                color: Qt.rgba(1, 1, 1, 0.55)
                maximumLineCount: 2
                wrapMode: Text.Wrap
                elide: Text.ElideRight
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Item {
                width: parent.width
                height: mainLine.implicitHeight

                Text {
                    id: mainLine
                    width: parent.width
                    text: SubtitleWindow.mainText
                    textFormat: Text.PlainText
                    font.pixelSize: 24
                    font.weight: Font.DemiBold
                    color: "white"
                    maximumLineCount: 3
                    wrapMode: Text.Wrap
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignHCenter
                    style: Text.Raised
                    styleColor: Qt.rgba(0, 0, 0, 0.6)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text

                }
            }

            Text {
                id: englishLine
                width: parent.width
                visible: SubtitleWindow.englishText !== ""
                text: SubtitleWindow.englishText
                textFormat: Text.PlainText
                font.pixelSize: 13
                color: Qt.rgba(1, 1, 1, 0.6)
                maximumLineCount: 2
                wrapMode: Text.Wrap
                elide: Text.ElideRight
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        // Status at the top left: the dot, and who is listened to.
        Row {
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.margins: 10
            spacing: 6

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 7
                height: 7
                radius: 3.5
                color: bar.running ? "#FF3B30" : "#8E8E93"
                Accessible.role: Accessible.Indicator
                Accessible.name: bar.running ? "Sous-titres en cours" : "Sous-titres arrêtés"
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                visible: bar.hovered || CallTranslator.live !== ""
                text: CallTranslator.live !== "" ? "écoute…" : CallTranslator.targetLabel
                textFormat: Text.PlainText
                font.pixelSize: 11
                font.weight: Font.Medium
                color: Qt.rgba(1, 1, 1, 0.7)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        // Controls at the top right, while the pointer is over the bar.
        Row {
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 8
            spacing: 6
            visible: bar.hovered

            BarButton {
                label: SubtitleWindow.showEnglish ? "Masquer l'anglais" : "Voir l'anglais"
                onClicked: SubtitleWindow.showEnglish = !SubtitleWindow.showEnglish
            }
            BarButton {
                label: bar.running ? "Arrêter" : "Démarrer"
                onClicked: CallTranslator.toggle()
            }
            BarButton {
                label: "×"
                accessibleName: "Fermer"
                onClicked: SubtitleWindow.close()
            }
        }

        // The lower right corner resizes the bar.
        MouseArea {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            width: 16
            height: 16
            cursorShape: Qt.SizeFDiagCursor
            onPressed: SubtitleWindow.startResize(Qt.RightEdge | Qt.BottomEdge)
        }
    }
}
