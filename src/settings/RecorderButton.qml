import QtQuick
import QtQuick.Layouts
import Ombry

// The correction shortcut as stored; pressed, it listens for a new one.
ColumnLayout {
    id: box
    spacing: 2

    GlassButton {
        id: button
        objectName: "shortcutRecorder"
        Layout.minimumWidth: 140
        text: recorder.title
        textColor: recorder.listening ? Theme.accentText : Theme.text
        Accessible.name: "Raccourci de correction"
        Accessible.description: recorder.title
        onClicked: recorder.toggle()

        ShortcutRecorder {
            id: recorder
            settings: AppSettings
            controller: DictationController
        }
    }
    Text {
        Layout.alignment: Qt.AlignHCenter
        visible: recorder.hint.length > 0
        text: recorder.hint
        font.pixelSize: 11
        color: Theme.orange
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
