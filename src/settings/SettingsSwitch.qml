import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A switch named after its row; `on` follows the setting, toggled() reports the user's flip.
Switch {
    id: control
    property bool on
    property string label
    signal toggled(bool value)

    checked: on
    padding: 0
    implicitWidth: 38
    implicitHeight: 22
    opacity: enabled ? 1 : 0.45
    Accessible.role: Accessible.CheckBox
    Accessible.name: label
    Accessible.checkable: true
    Accessible.checked: checked
    Accessible.onToggleAction: control.toggle()
    Accessible.onPressAction: control.toggle()

    onClicked: flipped()
    function toggle() {
        // The accessibility actions reach a disabled switch too.
        if (!enabled)
            return
        checked = !checked
        flipped()
    }
    function flipped() {
        const value = checked
        toggled(value)
        // Back to the setting, whatever it kept.
        checked = Qt.binding(() => control.on)
    }

    indicator: Rectangle {
        x: 0
        y: (control.height - height) / 2
        implicitWidth: 38
        implicitHeight: 22
        radius: 11
        color: control.checked ? Theme.accent : Qt.alpha(Theme.text, 0.16)

        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: 18
            height: 18
            radius: 9
            color: "white"
            border.width: 0.5
            border.color: Qt.rgba(0, 0, 0, 0.12)
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    contentItem: Item {}
}
