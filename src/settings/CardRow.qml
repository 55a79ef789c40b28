import QtQuick
import QtQuick.Layouts
import Ombry

// One row of the settings cards: symbol square, label and detail, then the control.
RowLayout {
    id: row
    property string symbol
    property string label
    property string detail
    default property alias control: trailing.data

    spacing: 12

    Rectangle {
        Layout.preferredWidth: 28
        Layout.preferredHeight: 28
        Layout.alignment: Qt.AlignVCenter
        radius: 7
        color: Theme.accentLight
        Symbol {
            anchors.centerIn: parent
            name: row.symbol
            color: Theme.accent
            size: 14
        }
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        Text {
            Layout.fillWidth: true
            text: row.label
            color: Theme.text
            font.pixelSize: 13
            font.weight: Font.Medium
            textFormat: Text.PlainText
            elide: Text.ElideRight
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            Layout.fillWidth: true
            visible: row.detail.length > 0
            text: row.detail
            color: Theme.secondaryText
            font.pixelSize: 11
            textFormat: Text.PlainText
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    RowLayout {
        id: trailing
        Layout.alignment: Qt.AlignVCenter
        spacing: 8
    }
}
