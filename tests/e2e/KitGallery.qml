import QtQuick
import QtQuick.Layouts
import Ombry

// Every component of the design kit in one window, for the eye and for AT-SPI.
Window {
    id: gallery
    width: 720
    height: 520
    title: "Ombry Voice — galerie"
    color: Theme.windowBackground
    property int presses: 0
    property int prominentPresses: 0

    AmbientBackground {
        anchors.fill: parent
        dark: Theme.dark
        lightVisuals: Kit.lightVisuals
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 16

        PageHeader {
            Layout.fillWidth: true
            title: "Tableau de bord"
            GlassButton {
                text: "Actualiser"
                symbol: "arrow.uturn.down"
                onClicked: gallery.presses++
            }
        }
        Card {
            Layout.fillWidth: true
            Column {
                spacing: 10
                Row {
                    spacing: 10
                    IconCircle { systemName: "waveform" }
                    SectionTitle {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Dictées de la semaine"
                    }
                }
                Text {
                    objectName: "count"
                    text: Theme.number(12345) + " mots"
                    color: Theme.text
                    font.pixelSize: 28
                    font.bold: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Row {
                    spacing: 8
                    AppBadge { name: "firefox"; bundleId: "org.example.absent"; size: 28 }
                    AppBadge { name: "Terminal"; bundleId: ""; size: 28 }
                    AppBadge { name: ""; size: 28 }
                }
            }
        }
        Card {
            Layout.fillWidth: true
            padding: 12
            radius: 18
            RowLayout {
                spacing: 8
                Symbol { name: "checkmark.seal"; color: Theme.accent; font.pixelSize: 20 }
                Text {
                    text: "Mise à jour disponible"
                    color: Theme.text
                    font.pixelSize: 13
                }
                ProminentButton {
                    text: "Installer"
                    onClicked: gallery.prominentPresses++
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
