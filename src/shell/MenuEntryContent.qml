import QtQuick

// A menu entry's text with its shortcut on the right, like a desktop menu.
Item {
    id: root

    property string text
    property string keys
    property font font
    property color color

    implicitWidth: label.implicitWidth + (keys.length > 0 ? shortcut.implicitWidth + 32 : 0)
    implicitHeight: label.implicitHeight

    Text {
        id: label
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        text: root.text
        font: root.font
        color: root.color
        textFormat: Text.PlainText
    }
    Text {
        id: shortcut
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        text: root.keys
        font: root.font
        color: root.color
        opacity: 0.7
        textFormat: Text.PlainText
        Accessible.ignored: true
    }
}
