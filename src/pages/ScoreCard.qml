import QtQuick
import QtQuick.Layouts
import QtQuick.Shapes
import Ombry

// The quality of the text before correction, as a ring, and whether anything changed.
Card {
    id: card

    property int before: 100
    property int count: 0
    readonly property color arcColor: before < 60 ? Theme.redMark : before < 85 ? Theme.orangeMark : Theme.accent
    // The same meaning for the figure, in colours that read on the card.
    readonly property color figureColor: before < 60 ? Theme.red : before < 85 ? Theme.orange : Theme.accentText

    padding: 20
    Accessible.role: Accessible.Grouping
    Accessible.name: "Qualité de ton texte"

    RowLayout {
        width: parent.width
        spacing: 16

        Item {
            implicitWidth: 58
            implicitHeight: 58

            Shape {
                anchors.fill: parent
                // A layer is not drawn when a snapshot grabs the hidden window.
                layer.enabled: !RenderMode.snapshot
                layer.samples: 4

                ShapePath {
                    fillColor: "transparent"
                    strokeWidth: 7
                    strokeColor: Qt.rgba(Theme.secondaryText.r, Theme.secondaryText.g, Theme.secondaryText.b, 0.15)
                    PathAngleArc {
                        centerX: 29
                        centerY: 29
                        radiusX: 25.5
                        radiusY: 25.5
                        startAngle: 0
                        sweepAngle: 360
                    }
                }

                ShapePath {
                    fillColor: "transparent"
                    strokeWidth: card.before > 0 ? 7 : 0
                    strokeColor: card.before > 0 ? card.arcColor : "transparent"
                    capStyle: ShapePath.RoundCap
                    PathAngleArc {
                        centerX: 29
                        centerY: 29
                        radiusX: 25.5
                        radiusY: 25.5
                        startAngle: -90
                        sweepAngle: 3.6 * Math.max(0, Math.min(100, card.before))
                    }
                }
            }

            Text {
                objectName: "score"
                anchors.centerIn: parent
                text: card.before
                font.pixelSize: 18
                font.bold: true
                color: card.figureColor
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 3

            Text {
                Layout.fillWidth: true
                text: "Qualité de ton texte"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Theme.text
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Text {
                objectName: "scoreAfter"
                Layout.fillWidth: true
                text: card.count === 0 ? "Parfait, rien à corriger" : "100 / 100 après correction"
                font.pixelSize: 12
                color: Theme.secondaryText
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
