import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The translation page's two tabs, for the trailing slot of each tab's header.
// The choice is kept under "translationTab".
Rectangle {
    id: picker

    readonly property var tabs: [
        { tab: "text", label: "Texte", symbol: "text.alignleft" },
        { tab: "calls", label: "Appels en direct", symbol: "captions.bubble" }
    ]
    // Two equal segments, each as wide as the longer label needs.
    implicitWidth: 2 * (Math.max(...tabs.map(t => metrics.advanceWidth(t.label))) + 13 + 5 + 28) + 6
    implicitHeight: 28
    radius: 8
    color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.08)
    Accessible.role: Accessible.PageTabList
    Accessible.name: "Onglets de traduction"

    FontMetrics {
        id: metrics
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: picker.tabs

            TabButton {
                id: segment

                required property var modelData
                readonly property bool selected: InterfaceKeys.translationTab === modelData.tab

                Layout.fillWidth: true
                Layout.fillHeight: true
                text: modelData.label
                checkable: true
                checked: selected
                Accessible.name: modelData.label
                onClicked: {
                    InterfaceKeys.translationTab = modelData.tab
                    checked = Qt.binding(() => segment.selected)
                }

                background: Rectangle {
                    radius: 6
                    color: segment.selected ? (Theme.dark ? Qt.rgba(1, 1, 1, 0.16) : "white") : "transparent"
                }

                contentItem: Item {
                    Row {
                        anchors.centerIn: parent
                        spacing: 5

                        Symbol {
                            anchors.verticalCenter: parent.verticalCenter
                            name: segment.modelData.symbol
                            font.pixelSize: 13
                            color: Theme.text
                        }

                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: segment.modelData.label
                            color: Theme.text
                            font.pixelSize: 12
                            font.weight: segment.selected ? Font.DemiBold : Font.Normal
                            Accessible.ignored: true
                        }
                    }
                }
            }
        }
    }
}
