import QtQuick
import QtQuick.Controls
import Ombry

// One title of the window's menu bar and the menu it opens.
ToolButton {
    id: button

    property string title
    default property alias actions: menu.contentData

    height: parent ? parent.height : 30
    text: title
    font.pixelSize: 13
    flat: true
    Accessible.name: title
    onClicked: menu.open()

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
    }
}
