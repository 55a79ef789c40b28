import QtQuick
import QtTest
import Ombry

// Tab in a snippet's text goes to the next field instead of typing a tab, which would
// be saved and pasted with every dictation.
Item {
    id: root
    width: 900
    height: 1200

    DictionaryPage {
        id: page
        width: 860
    }

    TestCase {
        name: "DictionaryPage"
        when: windowShown

        function test_tabLeavesTheSnippetText_data() {
            return [
                { tag: "Tab", key: Qt.Key_Tab, modifiers: Qt.NoModifier, next: "Supprimer le raccourci" },
                { tag: "Shift+Tab", key: Qt.Key_Backtab, modifiers: Qt.ShiftModifier, next: "Quand je dis" },
            ]
        }

        function model() {
            for (let i = 0; i < page.data.length; ++i)
                if (typeof page.data[i].addSnippet === "function")
                    return page.data[i]
            return null
        }

        function test_tabLeavesTheSnippetText(data) {
            const dictionary = model()
            verify(dictionary)
            if (!findChild(page, "snippetText"))
                dictionary.addSnippet()
            let field = null
            tryVerify(() => (field = findChild(page, "snippetText")) !== null)
            field.text = ""
            field.forceActiveFocus()
            keyClick("a")
            keyClick(data.key, data.modifiers)
            compare(field.text, "a")
            verify(!field.activeFocus)
            compare(root.Window.activeFocusItem.Accessible.name, data.next)
        }
    }
}
