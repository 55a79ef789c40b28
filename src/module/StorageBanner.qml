import QtQuick
import QtQuick.Layouts
import Ombry

// Above every page while something of the user's could not be written, and when a
// quit would lose it: the user decides.
GlassCard {
    id: banner

    readonly property bool quitting: Shell.quitWarning.length > 0

    radius: 18
    implicitHeight: row.implicitHeight + 28
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title.text

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 14
        spacing: 12

        Symbol {
            name: "exclamationmark.triangle"
            font.pixelSize: 20
            color: Theme.orange
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2

            Text {
                id: title
                objectName: "storageProblem"
                Layout.fillWidth: true
                text: banner.quitting ? Shell.quitWarning : Store.writeProblem
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: Theme.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Text {
                objectName: "storageDetail"
                Layout.fillWidth: true
                visible: !banner.quitting
                text: "Tes dictées restent en mémoire et seront écrites dès que possible."
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: Theme.secondaryText
                font.pixelSize: 12
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        GlassButton {
            objectName: "quitCancel"
            visible: banner.quitting
            text: "Annuler"
            onClicked: Shell.cancelQuit()
        }

        ProminentButton {
            objectName: "quitAnyway"
            visible: banner.quitting
            text: "Quitter quand même"
            tint: Theme.redFill
            onClicked: Shell.quitAnyway()
        }
    }
}
