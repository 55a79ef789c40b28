import QtQuick
import QtQuick.Controls
import Ombry

// One application of the calls tab's grid; the accent marks the chosen one.
AbstractButton {
    id: tile

    property string iconKey
    property bool selected: false
    property bool dim: false

    Accessible.role: Accessible.RadioButton
    Accessible.name: text
    // Dimmed: installed, not running.
    Accessible.description: dim ? "Pas lancée" : ""
    Accessible.checkable: true
    Accessible.checked: selected
    // A screen reader's press obeys the disabled grid as a click does.
    Accessible.onPressAction: if (tile.enabled) tile.clicked()
    Accessible.onToggleAction: if (tile.enabled) tile.clicked()
    // The grid is locked while subtitles run: it looks it.
    opacity: enabled ? 1 : 0.45

    contentItem: Item {
        Column {
            anchors.centerIn: parent
            width: parent.width
            spacing: 8
            opacity: tile.dim ? 0.55 : 1

            AppBadge {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: tile.iconKey.length > 0
                name: tile.text
                bundleId: tile.iconKey
                size: 36
                Accessible.ignored: true
            }
            Symbol {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: tile.iconKey.length === 0
                height: 36
                verticalAlignment: Text.AlignVCenter
                name: "desktopcomputer"
                color: Theme.accent
                size: 26
            }
            Text {
                text: tile.text
                width: parent.width - 8
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                // A long name shrinks a little before it is cut.
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 10
                elide: Text.ElideRight
                maximumLineCount: 1
                textFormat: Text.PlainText
                font.pixelSize: 12
                font.weight: tile.selected ? Font.DemiBold : Font.Normal
                color: Theme.text
            }
        }
    }
    background: Rectangle {
        radius: 14
        color: tile.selected ? Qt.alpha(Theme.accent, 0.18) : Qt.alpha(Theme.text, 0.04)
        border.width: 1.5
        border.color: tile.selected ? Theme.accent : "transparent"
    }
}
