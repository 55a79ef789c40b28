import QtQuick
import QtQuick.Layouts
import Ombry

// A row: symbol square, label and detail, and the control at the trailing edge.
RowLayout {
    id: row
    property string label
    property string detail
    property string icon
    default property alias control: controlSlot.data

    Layout.fillWidth: true
    spacing: 12

    IconSquare {
        visible: row.icon.length > 0
        systemName: row.icon
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2

        Text {
            Layout.fillWidth: true
            text: row.label
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.text
            elide: Text.ElideRight
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            Layout.fillWidth: true
            visible: row.detail.length > 0
            text: row.detail
            font.pixelSize: 12
            color: Theme.secondaryText
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Row {
        id: controlSlot
        Layout.alignment: Qt.AlignVCenter | Qt.AlignRight
        spacing: 8
    }
}
