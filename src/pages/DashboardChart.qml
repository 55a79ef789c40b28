import QtQuick
import Ombry

// Words per day as fourteen bars, the oldest on the left; the y marks come ready from
// the model, the day labels on every second bar.
Item {
    id: chart
    // {label, words, showLabel} per day; {value, label} per mark.
    property var days: []
    property var ticks: []
    property real top: 1

    readonly property real axisWidth: 44
    readonly property real labelHeight: 22
    readonly property real plotWidth: width - axisWidth
    readonly property real plotHeight: height - labelHeight
    readonly property real slot: days.length > 0 ? plotWidth / days.length : plotWidth

    implicitHeight: 240
    Accessible.role: Accessible.Chart
    Accessible.name: "Mots dictés par jour"

    Repeater {
        model: chart.ticks
        delegate: Item {
            required property var modelData
            readonly property real level: chart.plotHeight * (1 - modelData.value / Math.max(chart.top, 1))
            Rectangle {
                x: 0
                y: parent.level
                width: chart.plotWidth
                height: 1
                color: Qt.alpha(Theme.secondaryText, 0.2)
            }
            Text {
                x: chart.plotWidth + 6
                y: parent.level - height / 2
                text: parent.modelData.label
                font.pixelSize: 11
                color: Theme.secondaryText
            }
        }
    }

    Repeater {
        model: chart.days
        delegate: Item {
            required property var modelData
            required property int index
            x: index * chart.slot
            width: chart.slot
            height: chart.height

            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width * 0.62
                height: chart.plotHeight * Math.min(1, parent.modelData.words / Math.max(chart.top, 1))
                y: chart.plotHeight - height
                radius: Math.min(6, width / 2, height / 2)
                visible: height > 0
                gradient: Gradient {
                    GradientStop { position: 0; color: Theme.accent }
                    GradientStop { position: 1; color: Qt.alpha(Theme.accent, 0.55) }
                }
                Accessible.role: Accessible.Graphic
                Accessible.name: parent.modelData.label + " : " + parent.modelData.words
            }
            Text {
                visible: parent.modelData.showLabel
                anchors.horizontalCenter: parent.horizontalCenter
                y: chart.plotHeight + 6
                text: parent.modelData.label
                font.pixelSize: 11
                color: Theme.secondaryText
            }
        }
    }
}
