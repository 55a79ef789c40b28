import QtQuick
import QtQuick.Layouts
import Ombry

// One statistic tile: symbol and title, the value, an optional detail line.
Card {
    id: tile
    property string icon
    property string title
    property string value
    property string detail

    padding: 20

    ColumnLayout {
        width: parent.width
        spacing: 12

        RowLayout {
            spacing: 10
            IconCircle {
                systemName: tile.icon
            }
            Text {
                text: tile.title
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.secondaryText
            }
        }
        Text {
            Layout.fillWidth: true
            text: tile.value
            font.pixelSize: 28
            font.bold: true
            color: Theme.text
            maximumLineCount: 1
            // A long number shrinks down to 0.6 of its size before it is cut.
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 17
            elide: Text.ElideRight
        }
        Text {
            // A blank keeps every tile the same height.
            text: tile.detail.length > 0 ? tile.detail : " "
            font.pixelSize: 12
            color: Theme.secondaryText
            Accessible.ignored: tile.detail.length === 0
        }
    }
}
