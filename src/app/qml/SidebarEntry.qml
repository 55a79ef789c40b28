import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// One page of the sidebar: the whole padded row takes the click.
AbstractButton {
    id: entry

    property int page
    property string label
    property string symbol
    readonly property bool selected: Navigation.page === page

    text: entry.label
    leftPadding: 12
    rightPadding: 12
    topPadding: 9
    bottomPadding: 9
    hoverEnabled: true
    Accessible.role: Accessible.Button
    Accessible.name: entry.label
    Accessible.checkable: true
    Accessible.checked: selected

    onClicked: Navigation.page = page

    background: Rectangle {
        radius: 12
        color: entry.selected ? Qt.rgba(0, 0.7216, 0.6627, 0.18)
                              : entry.hovered ? Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.05) : "transparent"
    }

    contentItem: RowLayout {
        spacing: 11

        Symbol {
            Layout.preferredWidth: 20
            name: entry.symbol
            filled: entry.selected
            size: 15
            color: caption.color
        }

        Text {
            id: caption
            Layout.fillWidth: true
            text: entry.label
            elide: Text.ElideRight
            font.pixelSize: 14 // 13.5, whole pixels only
            font.weight: entry.selected ? Font.DemiBold : Font.Medium
            color: entry.selected ? Theme.accentDeep : Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.8)
            Accessible.ignored: true
        }
    }
}
