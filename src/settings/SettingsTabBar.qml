pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The six tabs on a glass strip; the selected one on an accent capsule that
// glides to the next choice.
Item {
    id: bar
    property string tab
    signal chosen(string tab)

    readonly property var tabs: [
        { tab: "general", label: "Général", symbol: "gearshape" },
        { tab: "dictation", label: "Dictée", symbol: "waveform" },
        { tab: "correction", label: "Correction et traduction", symbol: "checkmark.seal" },
        { tab: "account", label: "Compte", symbol: "person.crop.circle" },
        { tab: "permissions", label: "Autorisations", symbol: "lock.shield" },
        { tab: "advanced", label: "Avancé", symbol: "slider.horizontal.3" }
    ]

    implicitWidth: strip.implicitWidth + 8
    implicitHeight: strip.implicitHeight + 8
    Accessible.role: Accessible.PageTabList
    Accessible.name: "Onglets des réglages"

    GlassCard {
        anchors.fill: parent
        radius: 22
    }

    Rectangle {
        id: capsule
        readonly property Item target: strip.children[Math.max(0, bar.tabs.findIndex(t => t.tab === bar.tab))] ?? null
        x: target ? strip.x + target.x : 0
        y: strip.y
        width: target ? target.width : 0
        height: strip.height
        radius: height / 2
        color: Qt.alpha(Theme.accent, 0.18)
        Behavior on x { NumberAnimation { duration: 220; easing.type: Easing.OutCubic } }
        Behavior on width { NumberAnimation { duration: 220; easing.type: Easing.OutCubic } }
    }

    Row {
        id: strip
        x: 4
        y: 4
        spacing: 4

        Repeater {
            model: bar.tabs

            TabButton {
                id: button
                required property var modelData
                readonly property bool selected: bar.tab === modelData.tab
                readonly property color tint: selected ? Theme.accentDeep : Qt.alpha(Theme.text, 0.75)

                width: implicitWidth
                padding: 0
                leftPadding: 12
                rightPadding: 12
                topPadding: 7
                bottomPadding: 7
                text: modelData.label
                checkable: true
                checked: selected
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData.label
                Accessible.onPressAction: button.clicked()
                onClicked: {
                    bar.chosen(modelData.tab)
                    checked = Qt.binding(() => button.selected)
                }

                background: Item {}
                contentItem: Row {
                    spacing: 6
                    Symbol {
                        anchors.verticalCenter: parent.verticalCenter
                        name: button.modelData.symbol
                        font.pixelSize: 14
                        color: button.tint
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: button.modelData.label
                        font.pixelSize: 13
                        font.weight: button.selected ? Font.DemiBold : Font.Medium
                        color: button.tint
                        Accessible.ignored: true
                    }
                }
            }
        }
    }
}
