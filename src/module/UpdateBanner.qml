import QtQuick
import QtQuick.Layouts
import Ombry

// Above every page while a newer release is offered and not dismissed.
GlassCard {
    id: banner

    radius: 18
    implicitHeight: row.implicitHeight + 28
    Accessible.role: Accessible.AlertMessage
    Accessible.name: Updater.title

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 14
        spacing: 12

        Symbol {
            name: "arrow.down.circle.fill"
            font.pixelSize: 20
            color: Theme.accent
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2

            Text {
                objectName: "updateTitle"
                Layout.fillWidth: true
                text: Updater.title
                textFormat: Text.PlainText
                elide: Text.ElideRight
                color: Theme.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Text {
                objectName: "updateDetail"
                Layout.fillWidth: true
                text: Updater.detail
                textFormat: Text.PlainText
                maximumLineCount: 1
                elide: Text.ElideRight
                color: Updater.detailIsError ? "#FF9500" : Theme.secondaryText
                font.pixelSize: 12
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        GlassButton {
            objectName: "updateNotes"
            text: "Nouveautés"
            onClicked: Updater.openPage()
        }

        ProminentButton {
            objectName: "updateInstall"
            text: Updater.installLabel
            enabled: !Updater.installing
            onClicked: Updater.startInstall()
        }

        CloseButton {
            objectName: "updateClose"
            onClicked: Updater.dismissed = true
        }
    }
}
