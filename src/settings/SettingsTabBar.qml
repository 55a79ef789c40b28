pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The six tabs on a glass strip; the selected one on an accent capsule that
// glides to the next choice.
Item {
    id: bar
    property string tab
    // The width the page gives the bar; the symbols go when the labels alone fit.
    property real availableWidth: Infinity
    readonly property bool compact: fullWidth > availableWidth
    // Measured from the labels, not from the laid-out tabs, whose width follows `compact`.
    readonly property real fullWidth: {
        let sum = 8 + (tabs.length - 1) * strip.spacing
        for (const t of tabs)
            sum += metrics.advanceWidth(t.label) + 24 + 14 + 6
        return sum
    }
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

    FontMetrics {
        id: metrics
        font.pixelSize: 13
        font.weight: Font.DemiBold
    }

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
        color: Theme.selectedFill
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
                readonly property color tint: selected ? Theme.accentText : Qt.alpha(Theme.text, 0.75)

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
                        visible: !bar.compact
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
