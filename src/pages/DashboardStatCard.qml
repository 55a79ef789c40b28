import QtQuick
import QtQuick.Layouts
import Ombry

// One statistic tile: symbol and title, the value, an optional detail line.
Card {
    id: tile
    property string icon
    property string title
    property string value
    // The figure behind `value`, and how it is written while it counts.
    property real number
    property int countStyle: DashboardCount.Grouped
    property string detail

    padding: 20
    // The tiles of a row share its height: a detail on two lines lengthens them all.
    Layout.fillHeight: true

    ColumnLayout {
        width: parent.width
        spacing: 12

        RowLayout {
            spacing: 10
            IconCircle {
                systemName: tile.icon
            }
            PageLabel {
                text: tile.title
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.secondaryText
            }
        }
        DashboardCount {
            Layout.fillWidth: true
            value: tile.number
            finalText: tile.value
            style: tile.countStyle
            font.pixelSize: 28
            font.bold: true
            color: Theme.text
            maximumLineCount: 1
            // A long number shrinks down to 0.6 of its size before it is cut.
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 17
            elide: Text.ElideRight
        }
        PageLabel {
            // A blank keeps every tile the same height; a narrow tile wraps the detail.
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            maximumLineCount: 2
            text: tile.detail.length > 0 ? tile.detail : " "
            font.pixelSize: 12
            color: Theme.secondaryText
            Accessible.ignored: tile.detail.length === 0
        }
    }
}
