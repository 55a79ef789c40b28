import QtQuick
import QtQuick.Layouts
import Ombry

// A page's title at the leading edge, an optional view at the trailing edge.
RowLayout {
    id: header
    property string title
    default property alias trailing: trailingSlot.data
    // What the title takes, for a page that rearranges its trailing view.
    readonly property real titleWidth: titleText.implicitWidth
    spacing: 8

    Text {
        id: titleText
        text: header.title
        font.pixelSize: 26
        font.bold: true
        color: Theme.text
        Accessible.role: Accessible.Heading
        Accessible.name: header.title
    }
    Item {
        Layout.fillWidth: true
    }
    Row {
        id: trailingSlot
        Layout.alignment: Qt.AlignVCenter
        spacing: 8
    }
}
