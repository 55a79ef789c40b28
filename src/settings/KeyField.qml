import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A field whose text is never shown whole: an API key being typed.
TextField {
    id: field
    property string name

    echoMode: TextInput.Password
    passwordCharacter: "•"
    font.family: "monospace"
    font.pixelSize: 12
    color: Theme.text
    selectByMouse: true
    inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText | Qt.ImhHiddenText
    Accessible.role: Accessible.EditableText
    Accessible.name: name
    Accessible.passwordEdit: true
    Accessible.description: ""
    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 28
        radius: 7
        color: Theme.cardBackground
        border.width: 1
        border.color: field.activeFocus ? Theme.accent : Theme.separator
    }
}
