import QtQuick
import QtQuick.Layouts
import Ombry

Rectangle {
    Layout.fillWidth: true
    implicitHeight: 1
    color: Theme.separator
}
