import QtQuick
import QtTest
import Ombry

TestCase {
    name: "Theme"

    Text {
        id: probe
        color: Theme.text
        text: AppSettings.keyLabel
    }

    function init() {
        AppSettings.theme = Ombry.Theme.Light
    }

    function test_accent_data() {
        return [
            { tag: "accent", value: Theme.accent, expected: "#00b8a9" },
            { tag: "deep", value: Theme.accentDeep, expected: "#00968a" },
        ]
    }
    function test_accent(data) {
        compare(data.value.toString(), data.expected)
    }

    function test_darkFollowsTheSetting_data() {
        return [
            { tag: "light", theme: Ombry.Theme.Light, dark: false },
            { tag: "dark", theme: Ombry.Theme.Dark, dark: true },
        ]
    }
    function test_darkFollowsTheSetting(data) {
        AppSettings.theme = data.theme
        compare(Theme.dark, data.dark)
        // A bound view follows at once.
        verify(Qt.colorEqual(probe.color, Theme.text))
        compare(Qt.colorEqual(probe.color, "#F2F2F7"), data.dark)
    }

    function test_keyLabelFollowsTheKey_data() {
        return [
            { tag: "rightControl", key: Ombry.DictationKey.RightControl, label: "Ctrl droit" },
            { tag: "rightAlt", key: Ombry.DictationKey.RightAlt, label: "Alt droit (AltGr)" },
        ]
    }
    function test_keyLabelFollowsTheKey(data) {
        AppSettings.key = data.key
        compare(probe.text, data.label)
    }
}
