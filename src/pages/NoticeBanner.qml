import QtQuick
import QtQuick.Layouts
import Ombry

// A page's notice that its data file could not be read at start; closed by the user.
Rectangle {
    id: banner
    property string text
    signal closed()

    visible: text.length > 0
    implicitHeight: visible ? row.implicitHeight + 20 : 0
    radius: 10
    color: Qt.alpha(Theme.red, 0.12)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 10
        spacing: 10
        PageLabel {
            Layout.fillWidth: true
            text: banner.text
            wrapMode: Text.Wrap
            font.pixelSize: 13
            color: Theme.text
        }
        GlassButton {
            text: "Fermer"
            onClicked: banner.closed()
        }
    }
}
