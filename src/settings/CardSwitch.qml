import QtQuick
import QtQuick.Controls.Basic
import Ombry

// An on/off switch in the accent colour, named for the accessibility bus.
Switch {
    id: control
    property string name

    padding: 0
    Accessible.role: Accessible.CheckBox
    Accessible.name: name
    Accessible.checkable: true
    Accessible.checked: checked
    Accessible.onToggleAction: control.toggle()
    Accessible.onPressAction: control.toggle()

    indicator: Rectangle {
        implicitWidth: 38
        implicitHeight: 22
        radius: height / 2
        color: control.checked ? Theme.accent : Theme.separator
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: 18
            height: 18
            radius: 9
            color: "white"
            Behavior on x { NumberAnimation { duration: Theme.plain ? 0 : 120 } }
        }
    }
    contentItem: Item {}
}
