import QtQuick
import Ombry

// Words per day as fourteen bars, the oldest on the left, with the marks of the y axis
// on the right; heights come from the model as fractions of the chart's top.
Item {
    id: chart
    // {label, words, fraction, showLabel} per day; {label, fraction} per mark.
    property var days: []
    property var ticks: []

    implicitHeight: 240
    Accessible.role: Accessible.Chart
    Accessible.name: "Mots dictés par jour"

    Item {
        id: plot
        width: chart.width - 44
        height: chart.height - 22

        Repeater {
            model: chart.ticks
            delegate: Item {
                id: mark
                required property var modelData
                y: parent.height * (1 - mark.modelData.fraction)
                width: parent.width
                Rectangle {
                    width: parent.width
                    height: 1
                    color: Qt.alpha(Theme.secondaryText, 0.2)
                }
                Text {
                    x: parent.width + 6
                    y: -height / 2
                    text: mark.modelData.label
                    font.pixelSize: 11
                    color: Theme.secondaryText
                }
            }
        }

        Repeater {
            model: chart.days
            delegate: Item {
                id: bar
                required property var modelData
                required property int index
                x: index * parent.width / 14
                width: parent.width / 14
                height: parent.height

                Rectangle {
                    anchors.horizontalCenter: parent.horizontalCenter
                    anchors.bottom: parent.bottom
                    width: parent.width * 0.62
                    height: parent.height * Math.min(1, bar.modelData.fraction)
                    radius: Math.min(6, width / 2, height / 2)
                    visible: height > 0
                    gradient: Gradient {
                        GradientStop { position: 0; color: Theme.accent }
                        GradientStop { position: 1; color: Qt.alpha(Theme.accent, 0.55) }
                    }
                    Accessible.role: Accessible.Graphic
                    Accessible.name: bar.modelData.label + " : " + bar.modelData.words
                }
                Text {
                    visible: bar.modelData.showLabel
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: parent.height + 6
                    text: bar.modelData.label
                    font.pixelSize: 11
                    color: Theme.secondaryText
                }
            }
        }
    }
}
