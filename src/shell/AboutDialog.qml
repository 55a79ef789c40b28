import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The About dialog: the icon, the name and the version.
Window {
    id: dialog
    title: "À propos d'Ombry Voice"
    flags: Qt.Dialog
    width: 360
    height: 320
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: Theme.windowBackground

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 8

        Image {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 128
            Layout.preferredHeight: 128
            source: Shell.icon
            sourceSize.width: 256
            sourceSize.height: 256
            smooth: true
            mipmap: true
            Accessible.role: Accessible.Graphic
            Accessible.name: "Icône d'Ombry Voice"
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Ombry Voice"
            color: Theme.text
            font.pixelSize: 20
            font.bold: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Version " + Shell.version
            color: Theme.secondaryText
            font.pixelSize: 13
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item { Layout.fillHeight: true }
        Button {
            Layout.alignment: Qt.AlignRight
            text: "Fermer"
            focus: true
            Accessible.role: Accessible.Button
            Accessible.name: text
            onClicked: dialog.close()
        }
    }

    Shortcut {
        sequence: "Escape"
        onActivated: dialog.close()
    }
}
