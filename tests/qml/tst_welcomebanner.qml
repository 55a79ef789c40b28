import QtQuick
import QtTest
import Ombry

TestCase {
    name: "WelcomeBanner"

    WelcomeBanner {
        id: banner
        width: 222
        keyLabel: AppSettings.keyLabel
    }

    function test_keyLineFollowsTheKey_data() {
        return [
            { tag: "rightSuper", key: Ombry.DictationKey.RightSuper, line: "Maintiens Super droit" },
            { tag: "rightAlt", key: Ombry.DictationKey.RightAlt, line: "Maintiens Alt droit (AltGr)" },
            { tag: "rightControl", key: Ombry.DictationKey.RightControl, line: "Maintiens Ctrl droit" },
        ]
    }

    function test_keyLineFollowsTheKey(data) {
        AppSettings.key = data.key
        compare(findChild(banner, "keyLine").text, data.line)
    }

    function test_greetsByFirstName() {
        const greeting = findChild(banner, "greeting")
        compare(greeting.text, "Salut " + Account.firstName)
        verify(Account.firstName.length > 0)
        verify(Account.firstName.indexOf(" ") < 0)
        // An account's name is never read as markup.
        compare(greeting.textFormat, Text.PlainText)
    }
}
