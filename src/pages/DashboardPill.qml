import QtQuick
import QtQuick.Layouts
import Ombry

// One figure of the hero card on a clear capsule (no capsule in snapshots).
Item {
    id: pill
    property string icon
    property string value
    property string label

    implicitWidth: row.implicitWidth + 32
    implicitHeight: row.implicitHeight + 20
    Accessible.role: Accessible.StaticText
    Accessible.name: value + " " + label

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        visible: !Kit.glassOff
        color: Qt.rgba(1, 1, 1, 0.16)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.3)
    }
    RowLayout {
        id: row
        anchors.centerIn: parent
        spacing: 10
        Symbol {
            name: pill.icon
            font.pixelSize: 16
            color: "white"
        }
        ColumnLayout {
            spacing: 0
            Text {
                text: pill.value
                font.pixelSize: 18
                font.bold: true
                color: "white"
            }
            Text {
                text: pill.label
                font.pixelSize: 11
                font.weight: Font.Medium
                color: Qt.rgba(1, 1, 1, 0.85)
            }
        }
    }
}
