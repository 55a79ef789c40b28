import QtQuick
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Ombry

// The sidebar's greeting: the user's first name and the key to hold.
Item {
    id: banner

    property string keyLabel

    implicitHeight: content.implicitHeight + 32

    // Drawn once and cached: the banner is still between changes.
    DropShadow {
        anchors.fill: fill
        source: fill
        radius: 14
        samples: 29
        verticalOffset: 6
        color: Qt.rgba(0, 0.7216, 0.6627, 0.35)
        cached: true
    }

    LinearGradient {
        id: fill
        anchors.fill: parent
        start: Qt.point(0, 0)
        end: Qt.point(width, height)
        cached: true
        source: Rectangle {
            width: fill.width
            height: fill.height
            radius: 18
        }
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.accent }
            GradientStop { position: 1; color: Qt.rgba(0.25, 0.82, 0.76, 1) }
        }
    }

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        Rectangle {
            implicitWidth: 32
            implicitHeight: 32
            radius: 8
            color: Theme.accentDeep

            Symbol {
                anchors.centerIn: parent
                name: "waveform"
                size: 15
                color: "white"
            }
        }

        Text {
            Layout.fillWidth: true
            text: "Salut " + Account.firstName
            textFormat: Text.PlainText
            elide: Text.ElideRight
            color: "white"
            font.pixelSize: 18
            font.bold: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Text {
            Layout.fillWidth: true
            text: "Maintiens " + banner.keyLabel
            wrapMode: Text.WordWrap
            color: Qt.rgba(1, 1, 1, 0.9)
            font.pixelSize: 12
            font.weight: Font.Medium
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
