import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A chip that is on or off: white on the accent when on. Optional badge at its
// leading edge. A check box underneath, so that a screen reader reads it as one
// and can toggle it; `on` alone decides what is checked.
CheckBox {
    id: chip
    property bool on
    property string badgeName
    property string badgeId
    property bool badge: false

    padding: 0
    leftPadding: 10
    rightPadding: 10
    topPadding: 5
    bottomPadding: 5
    font.pixelSize: 12
    checked: on
    onClicked: checked = Qt.binding(() => chip.on)
    indicator: null
    Accessible.role: Accessible.CheckBox
    Accessible.name: text
    Accessible.checkable: true
    Accessible.checked: on
    Accessible.onPressAction: chip.clicked()
    Accessible.onToggleAction: chip.clicked()

    contentItem: Row {
        spacing: 6
        AppBadge {
            visible: chip.badge
            anchors.verticalCenter: parent.verticalCenter
            name: chip.badge ? chip.badgeName : ""
            bundleId: chip.badgeId
            size: 16
            Accessible.ignored: true
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: chip.text
            textFormat: Text.PlainText
            font.pixelSize: 12
            font.weight: chip.on ? Font.DemiBold : Font.Normal
            color: chip.on ? "white" : Theme.text
            Accessible.ignored: true
        }
    }
    background: Rectangle {
        radius: height / 2
        color: chip.on ? Theme.accent : Qt.alpha(Theme.secondaryText, 0.12)
    }
}
