import QtQuick
import QtQuick.Layouts
import Ombry

// One engine of the card: its current value and a button that opens its editor
// at the trailing edge.
ColumnLayout {
    id: section
    property string icon
    property string label
    property string value
    property bool open: false
    signal toggled()
    default property alias editor: editorColumn.data

    Layout.fillWidth: true
    spacing: 10

    RowLayout {
        Layout.fillWidth: true
        spacing: 12

        IconSquare {
            systemName: section.icon
        }
        Text {
            text: section.label
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item {
            Layout.fillWidth: true
        }
        Text {
            objectName: "value"
            text: section.value
            textFormat: Text.PlainText
            font.pixelSize: 13
            color: Theme.secondaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        GlassButton {
            text: section.open ? "OK" : "Changer"
            Accessible.name: section.open ? "OK" : "Changer " + section.label.toLowerCase()
            onClicked: section.toggled()
        }
    }
    ColumnLayout {
        id: editorColumn
        Layout.alignment: Qt.AlignRight
        visible: section.open
        spacing: 8
    }
}
