import QtQuick
import QtQuick.Layouts
import Ombry

// A titled card of rows, with an optional footer under it. Placed by hand, not
// by a layout: a row that grows later (an editor opening, a hint under a
// control) would leave a nested layout with the card's former height.
Item {
    id: group
    property string title
    property string footer
    default property alias content: rows.data

    implicitWidth: rows.implicitWidth + 2 * card.padding
    implicitHeight: footerText.visible ? footerText.y + footerText.height : card.y + card.height

    Text {
        id: titleText
        x: 6
        width: group.width - 6
        text: group.title.toUpperCase()
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.letterSpacing: 0.6
        color: Theme.secondaryText
        Accessible.role: Accessible.Heading
        Accessible.name: group.title
    }
    Card {
        id: card
        y: titleText.height + 8
        width: group.width
        height: rows.implicitHeight + 2 * padding
        padding: 16

        ColumnLayout {
            id: rows
            width: parent.width
            spacing: 12
        }
    }
    Text {
        id: footerText
        x: 6
        y: card.y + card.height + 8
        width: group.width - 12
        visible: group.footer.length > 0
        text: group.footer
        wrapMode: Text.WordWrap
        font.pixelSize: 12
        color: Theme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
