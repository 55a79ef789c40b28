import QtQuick
import QtQuick.Controls
import QtTest
import Ombry

// The Édition menu, opened with the mouse, edits the field that had the focus: the
// open menu holds the focus while its command runs.
Item {
    id: root
    width: 600
    height: 300

    MainMenuBar {
        id: bar
        width: root.width
    }

    TextField {
        id: field
        y: 60
        width: 300
    }

    TestCase {
        name: "MainMenuBar"
        when: windowShown

        function menuButton(title) {
            for (let i = 0; i < bar.children.length; ++i)
                if (bar.children[i].title === title)
                    return bar.children[i]
            return null
        }

        function menuOf(button) {
            for (let i = 0; i < button.data.length; ++i)
                if (typeof button.data[i].itemAt === "function")
                    return button.data[i]
            return null
        }

        // Opens "Édition" with the mouse and clicks one of its commands.
        function choose(command) {
            const button = menuButton("Édition")
            verify(button)
            const menu = menuOf(button)
            verify(menu)
            mouseClick(button)
            tryVerify(() => menu.opened)
            for (let i = 0; i < menu.count; ++i) {
                const item = menu.itemAt(i)
                if (item && item.text === command) {
                    verify(!field.activeFocus) // the open menu has it
                    mouseClick(item)
                    tryVerify(() => !menu.visible)
                    return
                }
            }
            fail("no command " + command)
        }

        function test_edit_data() {
            return [
                { tag: "Tout sélectionner", commands: ["Tout sélectionner"], text: "Bonjour Lyon", selected: "Bonjour Lyon" },
                { tag: "Couper puis Coller", commands: ["Couper", "Coller"], text: " LyonBonjour", selected: "" },
                { tag: "Couper puis Annuler", commands: ["Couper", "Annuler"], text: "Bonjour Lyon", selected: "" },
            ]
        }

        function test_edit(data) {
            field.text = "Bonjour Lyon"
            field.forceActiveFocus()
            field.select(0, 7)
            for (const command of data.commands) {
                if (command === "Coller")
                    field.cursorPosition = field.length
                choose(command)
                tryVerify(() => field.activeFocus)
            }
            compare(field.text, data.text)
            if (data.selected !== "")
                compare(field.selectedText, data.selected)
        }

        // Nothing focused: the commands do nothing, and nothing breaks.
        function test_noField() {
            field.text = "Bonjour"
            root.forceActiveFocus()
            choose("Tout sélectionner")
            compare(field.selectedText, "")
        }
    }
}
