import QtQuick
import QtQuick.Layouts
import Ombry

// The user's most frequent corrections; the page shows it only when `count` is above 0.
Card {
    id: card

    // A FrequentMistakesModel.
    property alias model: rows.model
    property int count: 0

    padding: 20
    Accessible.role: Accessible.Grouping
    Accessible.name: "Mes fautes fréquentes"

    ColumnLayout {
        width: parent.width
        spacing: 12

        RowLayout {
            spacing: 8

            IconCircle {
                systemName: "chart.bar.xaxis"
            }

            SectionTitle {
                text: "Mes fautes fréquentes"
            }
        }

        Repeater {
            id: rows

            RowLayout {
                id: mistake

                required property string original
                required property string correction
                required property string countText

                Layout.fillWidth: true
                spacing: 8

                Text {
                    Layout.maximumWidth: 130
                    text: mistake.original
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pixelSize: 13
                    font.strikeout: true
                    color: Qt.alpha(Theme.red, 0.8)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }

                Symbol {
                    name: "arrow.right"
                    font.pixelSize: 10
                    color: Theme.secondaryText
                }

                Text {
                    Layout.maximumWidth: 130
                    text: mistake.correction
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    color: Theme.accentText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }

                Item {
                    Layout.fillWidth: true
                }

                Text {
                    text: mistake.countText
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }
}
