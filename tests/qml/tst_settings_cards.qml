import QtQuick
import QtTest
import Ombry

Item {
    width: 600
    height: 300

    PermissionRow {
        id: row
        width: 560
        label: "Micro"
        icon: "mic"
        property int opened: 0
        onOpen: opened++
    }

    SettingsField {
        id: secret
        y: 80
        label: "Nouvelle clé OpenRouter"
        secret: true
    }

    SettingsField {
        id: plain
        y: 120
        label: "Ma vitesse au clavier"
    }

TestCase {
    name: "SettingsCards"
    when: windowShown

    // The settings card always offers the button; the onboarding only while
    // the permission is missing, and then without a state.
    function test_permissionRow_data() {
        return [
            { tag: "card, granted", granted: true, always: true, state: "Autorisé", stateShown: true, button: true },
            { tag: "card, refused", granted: false, always: true, state: "Non autorisé", stateShown: true, button: true },
            { tag: "onboarding, granted", granted: true, always: false, state: "Autorisé", stateShown: true, button: false },
            { tag: "onboarding, refused", granted: false, always: false, state: "Non autorisé", stateShown: false, button: true },
        ]
    }

    function test_permissionRow(data) {
        row.granted = data.granted
        row.alwaysButton = data.always
        const state = findChild(row, "state")
        const button = findChild(row, "open")
        compare(state.text, data.state)
        compare(state.visible, data.stateShown)
        compare(button.visible, data.button)
        if (data.button) {
            const before = row.opened
            mouseClick(button)
            compare(row.opened, before + 1)
        }
    }

    function test_secretNeverShown_data() {
        return [
            { tag: "key", text: "sk-or-v1-abcd1234" },
            { tag: "blanks around", text: "  sk-1  " },
        ]
    }

    function test_secretNeverShown(data) {
        secret.text = data.text
        compare(secret.echoMode, TextInput.Password)
        compare(secret.displayText, "•".repeat(data.text.length))
        plain.text = data.text
        compare(plain.echoMode, TextInput.Normal)
        compare(plain.displayText, data.text)
    }
}
}
