import QtQuick
import QtQuick.Controls.Basic
import Ombry

// A text field in the settings' look, named after its row. A secret field
// holds bullets only: what is typed or pasted goes to `keeper`, so the
// secret is neither drawn nor handed to the accessibility bus. Read it with
// value().
TextField {
    id: field
    property string label
    property bool secret: false
    readonly property SecretText keeper: SecretText {}

    function value() { return secret ? keeper.text() : text }

    // Puts the kept text's bullets back with the cursor at `cursor`.
    function showSecret(cursor) {
        text = keeper.masked
        cursorPosition = Math.min(cursor, length)
    }

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
    Accessible.description: ""

    Keys.onPressed: event => {
        if (!secret)
            return
        const from = selectionStart === selectionEnd ? cursorPosition : selectionStart
        const to = selectionStart === selectionEnd ? cursorPosition : selectionEnd
        const control = event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier)
        if (event.matches(StandardKey.Paste)) {
            showSecret(keeper.paste(from, to))
        } else if (event.matches(StandardKey.Copy) || event.matches(StandardKey.Cut)
                   || event.matches(StandardKey.Undo) || event.matches(StandardKey.Redo)) {
            // Nothing of a secret leaves the field, and its edits are not replayed.
        } else if (event.key === Qt.Key_Backspace || event.key === Qt.Key_Delete) {
            // Without a selection: one character, or with Ctrl all of them, on the key's side.
            const all = event.modifiers & Qt.ControlModifier
            if (from !== to)
                showSecret(keeper.replace(from, to, ""))
            else if (event.key === Qt.Key_Backspace)
                showSecret(keeper.replace(all ? 0 : Math.max(0, from - 1), from, ""))
            else
                showSecret(keeper.replace(from, all ? keeper.length : from + 1, ""))
        } else if (event.text.length > 0 && !control && event.text.charCodeAt(0) >= 0x20 && event.text.charCodeAt(0) !== 0x7f) {
            showSecret(keeper.replace(from, to, event.text))
        } else {
            return
        }
        event.accepted = true
    }
    // An input method commits behind the keys' back.
    onTextEdited: {
        if (secret && text !== keeper.masked) {
            const cursor = cursorPosition
            keeper.reconcile(text, cursor)
            showSecret(cursor)
        }
    }
    onTextChanged: {
        if (secret && text.length === 0 && keeper.length > 0)
            keeper.clear()
    }

    // X's middle-click paste goes to the keeper too.
    MouseArea {
        anchors.fill: parent
        enabled: field.secret
        acceptedButtons: Qt.MiddleButton
        onClicked: mouse => {
            field.forceActiveFocus()
            const at = field.positionAt(mouse.x, mouse.y)
            field.showSecret(field.keeper.paste(at, at, true))
        }
    }

    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 28
        radius: 7
        color: Theme.dark ? Qt.rgba(1, 1, 1, 0.1) : "white"
        border.width: field.activeFocus ? 1.5 : 0.8
        border.color: field.activeFocus ? Theme.accent : Qt.alpha(Theme.text, 0.15)
    }
}
