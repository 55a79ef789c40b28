import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The one confirmation of the kit: a title, an optional message, "Annuler" and the
// action. Cancel has the focus: Return and Escape keep what was there; only an
// explicit press of the action confirms.
Dialog {
    id: dialog
    property string message
    property string actionText
    // A destructive action is written in red.
    property bool destructive: true
    signal confirmed()

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    focus: true
    padding: 22
    closePolicy: Popup.CloseOnEscape
    // The title is drawn as the heading below; as the dialog's title it names it.
    header: null
    footer: null
    onOpened: cancel.forceActiveFocus()

    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.25)
    }

    background: Rectangle {
        radius: 16
        color: Theme.cardBackground
        border.width: 1
        border.color: Theme.separator
    }

    ColumnLayout {
        spacing: 14
        Text {
            objectName: "dialogTitle"
            Layout.preferredWidth: 360
            text: dialog.title
            textFormat: Text.PlainText
            color: Theme.text
            font.pixelSize: 15
            font.weight: Font.DemiBold
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            Layout.preferredWidth: 360
            visible: dialog.message.length > 0
            text: dialog.message
            textFormat: Text.PlainText
            color: Theme.secondaryText
            font.pixelSize: 12
            wrapMode: Text.WordWrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8
            GlassButton {
                id: cancel
                objectName: "dialogCancel"
                text: "Annuler"
                Keys.onReturnPressed: dialog.close()
                Keys.onEnterPressed: dialog.close()
                onClicked: dialog.close()
            }
            GlassButton {
                objectName: "dialogAction"
                text: dialog.actionText
                textColor: dialog.destructive ? Theme.red : Theme.text
                Keys.onReturnPressed: event => event.accepted = true
                Keys.onEnterPressed: event => event.accepted = true
                onClicked: {
                    dialog.close()
                    dialog.confirmed()
                }
            }
        }
    }
}
