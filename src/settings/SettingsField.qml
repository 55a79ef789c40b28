import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A text field in the settings' look, named after its row. A secret field
// never shows its text whole, also while it is being typed.
TextField {
    id: field
    property string label
    property bool secret: false

    echoMode: secret ? TextInput.Password : TextInput.Normal
    passwordCharacter: "•"
    font.pixelSize: 12
    color: Theme.text
    placeholderTextColor: Theme.secondaryText
    selectByMouse: true
    verticalAlignment: TextInput.AlignVCenter
    leftPadding: 8
    rightPadding: 8
    inputMethodHints: secret ? Qt.ImhSensitiveData | Qt.ImhNoPredictiveText | Qt.ImhHiddenText : Qt.ImhNone
    Accessible.role: Accessible.EditableText
    Accessible.name: label
    Accessible.passwordEdit: secret
    Accessible.description: ""
    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 28
        radius: 7
        color: Theme.dark ? Qt.rgba(1, 1, 1, 0.1) : "white"
        border.width: field.activeFocus ? 1.5 : 0.8
        border.color: field.activeFocus ? Theme.accent : Qt.alpha(Theme.text, 0.15)
    }
}
