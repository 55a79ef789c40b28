import QtQuick
import QtQuick.Layouts
import Ombry

// The first-run onboarding; its steps come with the settings.
Card {
    width: 560
    padding: 28

    ColumnLayout {
        width: parent.width
        spacing: 16

        Text {
            text: "Bienvenue dans Ombry Voice"
            color: Theme.text
            font.pixelSize: 22
            font.bold: true
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        ProminentButton {
            text: "Commencer"
            onClicked: InterfaceKeys.onboarded = true
        }
    }
}
