pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ombry

// A segmented picker: one button per label, the current one raised. Reports
// only the user's choice.
Rectangle {
    id: picker
    property string label
    property var labels: []
    property int current: -1
    signal chosen(int index)

    implicitHeight: 28
    radius: 8
    color: Qt.alpha(Theme.text, 0.08)
    Accessible.role: Accessible.PageTabList
    Accessible.name: label

    RowLayout {
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: picker.labels

            TabButton {
                id: segment
                required property int index
                required property string modelData
                readonly property bool selected: picker.current === index

                Layout.fillWidth: true
                Layout.fillHeight: true
                text: modelData
                checkable: true
                checked: selected
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData
                Accessible.onPressAction: segment.clicked()
                onClicked: {
                    if (!selected)
                        picker.chosen(index)
                    checked = Qt.binding(() => segment.selected)
                }

                background: Rectangle {
                    radius: 6
                    color: segment.selected ? (Theme.dark ? Qt.rgba(1, 1, 1, 0.16) : "white") : "transparent"
                }
                contentItem: Text {
                    text: segment.modelData
                    color: Theme.text
                    font.pixelSize: 12
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    Accessible.ignored: true
                }
            }
        }
    }
}
