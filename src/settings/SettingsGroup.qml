import QtQuick
import QtQuick.Layouts
import Ombry

// A titled card of rows, with an optional footer under it.
ColumnLayout {
    id: group
    property string title
    property string footer
    default property alias content: rows.data

    spacing: 8

    Text {
        Layout.leftMargin: 6
        text: group.title.toUpperCase()
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.letterSpacing: 0.6
        color: Theme.secondaryText
        Accessible.role: Accessible.Heading
        Accessible.name: group.title
    }
    Card {
        Layout.fillWidth: true
        implicitHeight: rows.implicitHeight + 2 * padding
        padding: 16

        ColumnLayout {
            id: rows
            width: parent.width
            spacing: 12
        }
    }
    Text {
        Layout.fillWidth: true
        Layout.leftMargin: 6
        Layout.rightMargin: 6
        visible: group.footer.length > 0
        text: group.footer
        wrapMode: Text.WordWrap
        font.pixelSize: 12
        color: Theme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
