import QtQuick

// A borderless text button of the caption bar.
Text {
    id: button
    property string label
    property string accessibleName: label
    signal clicked

    text: label
    textFormat: Text.PlainText
    font.pixelSize: label === "×" ? 15 : 11
    font.weight: Font.Medium
    color: Qt.rgba(1, 1, 1, area.containsMouse ? 1 : 0.85)
    Accessible.role: Accessible.Button
    Accessible.name: accessibleName
    Accessible.onPressAction: button.clicked()

    MouseArea {
        id: area
        anchors.fill: parent
        anchors.margins: -4
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
