import QtQuick
import QtQuick.Controls
import Ombry

// One title of the window's menu bar and the menu it opens.
ToolButton {
    id: button

    property string title
    default property alias actions: menu.contentData
    // What had the focus when the menu opened: the open menu holds it meanwhile.
    property Item focusBefore: null

    height: parent ? parent.height : 30
    text: title
    font.pixelSize: 13
    flat: true
    // A click on the title leaves the focus where it was.
    focusPolicy: Qt.NoFocus
    Accessible.name: title
    onClicked: {
        focusBefore = Window.activeFocusItem
        menu.open()
    }

    contentItem: Text {
        text: button.title
        font: button.font
        color: Theme.text
        verticalAlignment: Text.AlignVCenter
        horizontalAlignment: Text.AlignHCenter
    }

    Menu {
        id: menu
        y: button.height
        delegate: MenuItem {
            id: item
            readonly property string keys: item.action instanceof MenuCommand ? (item.action as MenuCommand).keys : ""
            Accessible.name: item.text
            Accessible.description: item.keys
            contentItem: MenuEntryContent {
                text: item.text
                keys: item.keys
                font: item.font
                color: item.highlighted ? item.palette.brightText : item.palette.windowText
                opacity: item.enabled ? 1 : 0.5
            }
        }
    }
}
