import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// One page of the sidebar: the whole padded row takes the click.
TabButton {
    id: entry

    property int page
    property string label
    property string symbol
    readonly property bool selected: Navigation.page === page
    readonly property color foreground: selected ? Theme.accentText : Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.8)

    text: entry.label
    leftPadding: 12
    rightPadding: 12
    topPadding: 9
    bottomPadding: 9
    hoverEnabled: true
    // Checked is what a screen reader announces as the page shown; a click
    // chooses the page, and the page alone decides what is checked.
    checkable: true
    checked: selected
    Accessible.name: entry.label
    Accessible.onPressAction: entry.clicked()

    onClicked: {
        Navigation.page = page
        checked = Qt.binding(() => entry.selected)
    }

    background: Rectangle {
        radius: 12
        color: entry.selected ? Theme.selectedFill
                              : entry.hovered ? Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.05) : "transparent"
    }

    contentItem: RowLayout {
        spacing: 11

        Symbol {
            Layout.preferredWidth: 20
            // The filled variant for the page shown, where the set has one.
            name: entry.selected && Kit.glyph(entry.symbol + ".fill") !== "" ? entry.symbol + ".fill" : entry.symbol
            font.pixelSize: 15
            color: entry.foreground
        }

        Text {
            Layout.fillWidth: true
            text: entry.label
            elide: Text.ElideRight
            font.pixelSize: 14 // 13.5, whole pixels only
            font.weight: entry.selected ? Font.DemiBold : Font.Medium
            color: entry.foreground
            Accessible.ignored: true
        }
    }
}
