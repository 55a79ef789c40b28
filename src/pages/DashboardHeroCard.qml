import QtQuick
import QtQuick.Layouts
import QtQuick.Shapes
import Ombry

// The large card at the top of the dashboard: today's words and three pills.
Item {
    id: hero
    property string wordsText
    property real words
    property string streakValue
    property string streakLabel
    property string fixesValue
    property string fixesLabel
    property string spentText

    implicitHeight: content.implicitHeight + 48

    // A soft shadow in the accent colour, below and around the card.
    Repeater {
        model: 6
        delegate: Rectangle {
            required property int index
            x: -3 * index
            y: 8 - 3 * index
            width: parent.width + 6 * index
            height: parent.height + 6 * index
            radius: 24 + 3 * index
            color: Qt.alpha(Theme.accent, 0.35 / 6 * (6 - index) / 3.5)
        }
    }

    Shape {
        anchors.fill: parent
        // Smooth edges; a snapshot grabs the hidden window, which draws no layer.
        layer.enabled: !RenderMode.snapshot
        layer.samples: 4
        ShapePath {
            strokeWidth: -1
            fillGradient: LinearGradient {
                x1: 0
                y1: 0
                x2: hero.width
                y2: hero.height
                // Deep enough at both ends for its white text.
                GradientStop { position: 0; color: Theme.accentFill }
                GradientStop { position: 1; color: Theme.accentFillEnd }
            }
            startX: 24
            startY: 0
            PathLine { x: hero.width - 24; y: 0 }
            PathArc { x: hero.width; y: 24; radiusX: 24; radiusY: 24 }
            PathLine { x: hero.width; y: hero.height - 24 }
            PathArc { x: hero.width - 24; y: hero.height; radiusX: 24; radiusY: 24 }
            PathLine { x: 24; y: hero.height }
            PathArc { x: 0; y: hero.height - 24; radiusX: 24; radiusY: 24 }
            PathLine { x: 0; y: 24 }
            PathArc { x: 24; y: 0; radiusX: 24; radiusY: 24 }
        }
    }

    // The large waveform, cut at the card's edge.
    Item {
        anchors.fill: parent
        anchors.topMargin: 4
        anchors.bottomMargin: 4
        clip: true

        Symbol {
            anchors.right: parent.right
            anchors.rightMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            name: "waveform"
            font.pixelSize: 120
            font.bold: true
            color: Qt.rgba(1, 1, 1, 0.08)
        }
    }

    // The figure and its pills side by side; the pills under the figure when the
    // card is too narrow for both.
    GridLayout {
        id: content
        readonly property bool stacked: figure.implicitWidth + columnSpacing + pills.implicitWidth > hero.width - 48
        anchors.fill: parent
        anchors.margins: 24
        columns: stacked ? 1 : 2
        columnSpacing: 28
        rowSpacing: 16

        ColumnLayout {
            id: figure
            Layout.fillWidth: true
            spacing: 6
            PageLabel {
                text: "Aujourd'hui"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Qt.rgba(1, 1, 1, 0.85)
            }
            DashboardCount {
                objectName: "heroWords"
                value: hero.words
                finalText: hero.wordsText
                style: DashboardCount.Words
                font.pixelSize: 34
                font.bold: true
                color: "white"
            }
        }
        RowLayout {
            id: pills
            spacing: 12
            DashboardPill {
                icon: "flame.fill"
                value: hero.streakValue
                label: hero.streakLabel
            }
            DashboardPill {
                icon: "checkmark.seal.fill"
                value: hero.fixesValue
                label: hero.fixesLabel
            }
            DashboardPill {
                icon: "creditcard.fill"
                value: hero.spentText
                label: "API ce mois"
            }
        }
    }
}
