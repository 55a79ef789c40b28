import QtQuick
import QtQuick.Controls
import Ombry

// A segmented choice: one button per label, the chosen one filled with the accent.
Rectangle {
    id: segments
    property var labels: []
    property int current: 0
    signal chosen(int index)

    implicitWidth: 260
    implicitHeight: 30
    radius: 8
    color: Qt.alpha(Theme.secondaryText, 0.12)
    Accessible.role: Accessible.PageTabList

    Row {
        anchors.fill: parent
        anchors.margins: 2

        Repeater {
            model: segments.labels
            delegate: AbstractButton {
                id: segment
                required property string modelData
                required property int index
                width: (segments.width - 4) / segments.labels.length
                height: segments.height - 4
                checkable: true
                checked: segments.current === index
                text: modelData
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData
                Accessible.checkable: true
                Accessible.checked: checked
                onClicked: {
                    segments.current = index
                    segments.chosen(index)
                }

                background: Rectangle {
                    radius: 6
                    color: segment.checked ? Theme.cardBackground : "transparent"
                    border.width: segment.checked ? 1 : 0
                    border.color: Qt.alpha(Theme.secondaryText, 0.2)
                }
                contentItem: Text {
                    text: segment.text
                    font.pixelSize: 12
                    font.weight: segment.checked ? Font.DemiBold : Font.Normal
                    color: Theme.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
            }
        }
    }
}
