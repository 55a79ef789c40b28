import QtQuick
import QtQuick.Layouts
import Ombry

// Until the tab is built: its header with the tab picker.
Item {
    implicitHeight: layout.implicitHeight

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 16

        PageHeader {
            Layout.fillWidth: true
            title: "Appels en direct"

            TranslationTabPicker {}
        }
    }
}
