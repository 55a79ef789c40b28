import QtQuick
import QtQuick.Layouts
import Ombry

// The sidebar's greeting: the user's first name and the key to hold.
Item {
    id: banner

    property string keyLabel

    implicitHeight: content.implicitHeight + 32

    // Painted once per size: gradient plate and its shadow.
    GradientPlate {
        anchors.fill: parent
        anchors.margins: -margin
        radius: 18
        // Deep enough at both ends for its white text.
        from: Theme.accentFill
        to: Theme.accentFillEnd
        shadowColor: Qt.rgba(0, 0.7216, 0.6627, 0.35)
        shadowRadius: 14
        shadowOffsetY: 6
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
            color: Qt.rgba(1, 1, 1, 0.16)

            Symbol {
                anchors.centerIn: parent
                name: "waveform"
                font.pixelSize: 15
                font.bold: true
                color: "white"
            }
        }

        Text {
            objectName: "greeting"
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
            objectName: "keyLine"
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
