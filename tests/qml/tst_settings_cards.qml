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

    // The settings card offers the button wherever a settings program can grant the
    // permission; the onboarding only while it is missing, and then without a state.
    // Before the first check, nothing is claimed.
    function test_permissionRow_data() {
        return [
            { tag: "card, granted", granted: true, always: true, state: "Autorisé", stateShown: true, button: true },
            { tag: "card, refused", granted: false, always: true, state: "Non autorisé", stateShown: true, button: true },
            { tag: "card, not checked yet", known: false, granted: false, always: true, state: "Vérification…", stateShown: true, button: true, symbol: false },
            { tag: "card, no program", canOpen: false, granted: true, always: true, state: "Autorisé", stateShown: true, button: false },
            { tag: "onboarding, granted", granted: true, always: false, state: "Autorisé", stateShown: true, button: false },
            { tag: "onboarding, refused", granted: false, always: false, state: "Non autorisé", stateShown: false, button: true },
            { tag: "onboarding, not checked yet", known: false, granted: false, always: false, state: "Vérification…", stateShown: true, button: false, symbol: false },
            { tag: "onboarding, refused, no program", canOpen: false, granted: false, always: false, state: "Non autorisé", stateShown: true, button: false },
        ]
    }

    function test_permissionRow(data) {
        row.granted = data.granted
        row.alwaysButton = data.always
        row.known = data.known !== false
        row.canOpen = data.canOpen !== false
        const state = findChild(row, "state")
        const button = findChild(row, "open")
        compare(state.text, data.state)
        compare(state.visible, data.stateShown)
        compare(button.visible, data.button)
        compare(findChild(row, "stateSymbol").visible, data.symbol !== false && data.stateShown)
        if (data.button) {
            const before = row.opened
            mouseClick(button)
            compare(row.opened, before + 1)
        }
    }

    // Keys typed into a secret field reach its keeper; the field itself, and
    // so the accessibility bus, only ever holds bullets.
    function test_secretNeverShown_data() {
        return [
            { tag: "typed", keys: "sk-or-v1-ab", edits: [], value: "sk-or-v1-ab" },
            { tag: "blanks around", keys: "  sk-1  ", edits: [], value: "  sk-1  " },
            { tag: "backspace", keys: "abcd", edits: [Qt.Key_Backspace], value: "abc" },
            { tag: "typed in the middle", keys: "abd", edits: [Qt.Key_Left, "c"], value: "abcd" },
            { tag: "delete at the start", keys: "abcd", edits: [Qt.Key_Home, Qt.Key_Delete], value: "bcd" },
            { tag: "all selected, then typed", keys: "abcd", edits: ["ctrl+a", "x"], value: "x" },
            { tag: "a selection removed", keys: "abcd", edits: ["shift+left", "shift+left", Qt.Key_Backspace], value: "ab" },
            { tag: "ctrl+backspace empties the start", keys: "abcd", edits: [Qt.Key_Left, "ctrl+backspace"], value: "d" },
        ]
    }

    function test_secretNeverShown(data) {
        secret.clear()
        secret.forceActiveFocus()
        for (const c of data.keys)
            keyClick(c)
        for (const e of data.edits) {
            if (typeof e === "number")
                keyClick(e)
            else if (e.length === 1)
                keyClick(e)
            else
                keySequence(e)
        }
        compare(secret.value(), data.value)
        compare(secret.text, "•".repeat(data.value.length))
        compare(secret.displayText, secret.text)
        // Emptied by the row (opened again, saved): the keeper empties too.
        secret.clear()
        compare(secret.value(), "")

        plain.text = data.value
        compare(plain.value(), data.value)
        compare(plain.displayText, data.value)
    }
}
}
