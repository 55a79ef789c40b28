import QtQuick
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import Ombry

// The large card at the top of the dashboard: today's words and three pills.
Item {
    id: hero
    property string wordsText
    property string streakValue
    property string streakLabel
    property string fixesValue
    property string fixesLabel
    property string spentText

    implicitHeight: content.implicitHeight + 48

    Rectangle {
        id: outline
        anchors.fill: parent
        radius: 24
        visible: false
    }
    DropShadow {
        anchors.fill: parent
        source: outline
        color: Qt.alpha(Theme.accent, 0.35)
        radius: 18
        samples: 37
        verticalOffset: 8
    }
    Item {
        id: body
        anchors.fill: parent
        visible: false

        LinearGradient {
            anchors.fill: parent
            start: Qt.point(0, 0)
            end: Qt.point(width, height)
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.accent }
                GradientStop { position: 1; color: Qt.rgba(0.2, 0.7, 0.85, 1) }
            }
        }
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
    OpacityMask {
        anchors.fill: parent
        source: body
        maskSource: outline
    }

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 24
        spacing: 28

        ColumnLayout {
            spacing: 6
            Text {
                text: "Aujourd'hui"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Qt.rgba(1, 1, 1, 0.85)
            }
            Text {
                objectName: "heroWords"
                text: hero.wordsText
                font.pixelSize: 34
                font.bold: true
                color: "white"
            }
        }
        Item {
            Layout.fillWidth: true
        }
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
