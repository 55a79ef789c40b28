import QtQuick
import QtQuick.Layouts
import Ombry

// The line between two rows of a group.
Rectangle {
    Layout.fillWidth: true
    implicitHeight: 1
    color: Theme.separator
}
