import QtQuick
import QtQuick.Layouts
import Ombry

// Until the page is built: its header alone.
Item {
    implicitHeight: layout.implicitHeight

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 16

        PageHeader {
            Layout.fillWidth: true
            title: "Réglages"
        }
    }
}
