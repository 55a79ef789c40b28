pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A pop-up picker named after its row. It shows `current` (none when -1) and
// reports only the user's choice: building it writes nothing.
ComboBox {
    id: picker
    property string label
    property int current: -1
    signal chosen(int index)

    implicitHeight: 28
    font.pixelSize: 13
    currentIndex: current
    Accessible.role: Accessible.ComboBox
    Accessible.name: label
    Accessible.description: displayText
    // A screen reader opens the list; its entries answer Press in turn.
    Accessible.onPressAction: picker.popup.visible ? picker.popup.close() : picker.popup.open()

    onActivated: index => {
        chosen(index)
        currentIndex = Qt.binding(() => picker.current)
    }

    displayText: currentIndex >= 0 ? currentText : "—"

    delegate: ItemDelegate {
        id: entry
        required property int index
        required property var modelData
        width: picker.popup.availableWidth
        text: picker.textRole.length > 0 ? modelData[picker.textRole] : modelData
        font.pixelSize: 13
        highlighted: picker.highlightedIndex === index
        Accessible.role: Accessible.MenuItem
        Accessible.name: text
        Accessible.onPressAction: {
            picker.activated(index)
            picker.popup.close()
        }
        contentItem: Text {
            text: entry.text
            font: entry.font
            color: entry.highlighted ? "white" : Theme.text
            elide: Text.ElideRight
            verticalAlignment: Text.AlignVCenter
            Accessible.ignored: true
        }
        background: Rectangle {
            radius: 6
            color: entry.highlighted ? Theme.accentFill : "transparent"
        }
    }

    contentItem: Text {
        leftPadding: 10
        rightPadding: 24
        text: picker.displayText
        font: picker.font
        color: Theme.text
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        Accessible.ignored: true
    }
    indicator: Symbol {
        x: picker.width - width - 8
        anchors.verticalCenter: parent.verticalCenter
        name: "chevron.up.chevron.down"
        font.pixelSize: 14
        color: Theme.secondaryText
    }
    background: Rectangle {
        radius: 7
        color: Theme.dark ? Qt.rgba(1, 1, 1, picker.down ? 0.16 : 0.1) : (picker.down ? "#ececef" : "white")
        border.width: 0.8
        border.color: Qt.alpha(Theme.text, 0.15)
    }
    // The list on a card of its own: rounded, with a rim and a soft shadow.
    popup.y: picker.height + 4
    popup.width: Math.max(picker.width, 180)
    popup.padding: 4
    popup.background: Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: -1
            anchors.topMargin: 2
            radius: 11
            color: Qt.rgba(0, 0, 0, Theme.dark ? 0.35 : 0.1)
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: Theme.cardBackground
            border.width: 0.8
            border.color: Qt.alpha(Theme.text, 0.15)
        }
    }
    palette.window: Theme.cardBackground
    palette.dark: Qt.alpha(Theme.text, 0.15)
}
