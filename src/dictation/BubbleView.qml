import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The result bubble's view: title, the result (scrollable, selectable), the
// original text in small type; copy and close buttons.
Item {
    id: root
    required property BubbleController bubble

    // The height the content asks for at the bubble's width.
    readonly property real fittingHeight: 16 + header.height + 10 + result.implicitHeight + 10 + original.implicitHeight + 16

    width: 380
    implicitHeight: fittingHeight

    // Nothing shows through a window on a desktop without a compositor: the
    // glass then lies on an opaque base of its own colour.
    Rectangle {
        anchors.fill: parent
        radius: 20
        visible: !Kit.composited
        color: Theme.dark ? "#26282A" : "#F6F8F8"
    }
    GlassSurface {
        anchors.fill: parent
        radius: 20
        dark: Theme.dark
        style: GlassSurface.Regular
    }

    Item {
        id: header
        x: 16
        y: 16
        width: parent.width - 32
        height: Math.max(titleRow.implicitHeight, 24)

        Row {
            id: titleRow
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            Symbol {
                name: "globe"
                font.pixelSize: 13
                color: Theme.accentDeep
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                objectName: "title"
                text: root.bubble.title
                textFormat: Text.PlainText
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: Theme.accentDeep
                anchors.verticalCenter: parent.verticalCenter
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
        }
        Row {
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2
            BubbleIconButton {
                objectName: "copy"
                symbol: root.bubble.copied ? "checkmark" : "doc.on.doc"
                label: "Copier"
                onActivated: root.bubble.copy()
            }
            BubbleIconButton {
                objectName: "close"
                symbol: "xmark"
                label: "Fermer"
                onActivated: root.bubble.close()
            }
        }
    }

    Flickable {
        id: scroller
        x: 16
        y: header.y + header.height + 10
        width: parent.width - 32
        height: Math.max(0, original.y - 10 - y)
        contentWidth: width
        contentHeight: result.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            policy: scroller.contentHeight > scroller.height ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
        }

        TextEdit {
            id: result
            objectName: "result"
            width: scroller.width - 8
            text: root.bubble.text
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pixelSize: 14
            color: Theme.text
            selectionColor: Theme.accent
            selectedTextColor: "white"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    Text {
        id: original
        objectName: "original"
        x: 16
        y: parent.height - 16 - height
        width: parent.width - 32
        text: root.bubble.original
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
        font.pixelSize: 11
        color: Theme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
