import QtQuick
import QtQuick.Controls.Basic
import Ombry

// The dictation language, one entry per language.
Menu {
    id: menu
    property var names: []

    Repeater {
        model: menu.names
        delegate: MenuItem {
            required property string modelData
            required property int index
            text: modelData
            checkable: true
            checked: AppSettings.language === index
            Accessible.name: modelData
            onTriggered: AppSettings.language = index
        }
    }
}
