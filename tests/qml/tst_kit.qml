import QtQuick
import QtTest
import Ombry

TestCase {
    id: testCase
    name: "Kit"
    width: 400
    height: 300
    when: windowShown

    Component {
        id: badgeComponent
        AppBadge {}
    }
    Component {
        id: cardComponent
        GlassCard {}
    }
    Component {
        id: symbolComponent
        Symbol {}
    }

    function init() {
        AppSettings.theme = Ombry.Theme.Light
        AppSettings.performanceMode = Ombry.PerformanceMode.Full
        Kit.glassOff = false
    }
    function cleanupTestCase() {
        init()
    }

    function test_colours_data() {
        return [
            { tag: "accent", value: Theme.accent, expected: "#00b8a9" },
            { tag: "deep", value: Theme.accentDeep, expected: "#00968a" },
        ]
    }
    function test_colours(data) {
        compare(data.value.toString(), data.expected)
    }

    function test_cardBackgroundFollowsTheAppearance_data() {
        return [
            { tag: "light", theme: Ombry.Theme.Light, r: 1, g: 1, b: 1 },
            { tag: "dark", theme: Ombry.Theme.Dark, r: 0.17, g: 0.18, b: 0.18 },
        ]
    }
    function test_cardBackgroundFollowsTheAppearance(data) {
        const card = createTemporaryObject(cardComponent, testCase)
        AppSettings.theme = data.theme
        fuzzyCompare(card.fill.r, data.r, 0.01)
        fuzzyCompare(card.fill.g, data.g, 0.01)
        fuzzyCompare(card.fill.b, data.b, 0.01)
        compare(card.dark, data.theme === Ombry.Theme.Dark)
    }

    function test_glassTurnsPlain_data() {
        return [
            { tag: "full glass", mode: Ombry.PerformanceMode.Full, off: false, plain: false, alpha: 0.35 },
            { tag: "light visuals", mode: Ombry.PerformanceMode.Light, off: false, plain: true, alpha: 0.85 },
            { tag: "snapshot", mode: Ombry.PerformanceMode.Full, off: true, plain: true, alpha: 0.85 },
            { tag: "both", mode: Ombry.PerformanceMode.Light, off: true, plain: true, alpha: 0.85 },
        ]
    }
    function test_glassTurnsPlain(data) {
        const card = createTemporaryObject(cardComponent, testCase)
        AppSettings.performanceMode = data.mode
        Kit.glassOff = data.off
        compare(Theme.plain, data.plain)
        compare(card.style, data.plain ? GlassSurface.Identity : GlassSurface.Regular)
        fuzzyCompare(card.fill.a, data.alpha, 0.01)
        // The rim stays in every case.
        compare(card.rimWidth, 0.8)
        compare(Theme.frameInterval, data.mode === Ombry.PerformanceMode.Light ? 66 : 33)
    }

    function test_badgeLetterFallback_data() {
        return [
            { tag: "lower case", name: "firefox", letter: "F" },
            { tag: "accented", name: "éditeur", letter: "É" },
            { tag: "empty name", name: "", letter: "" },
        ]
    }
    function test_badgeLetterFallback(data) {
        const badge = createTemporaryObject(badgeComponent, testCase,
                                            { name: data.name, bundleId: "org.example.absent-app", size: 40 })
        verify(!badge.hasIcon)
        const square = findChild(badge, "letterBadge")
        compare(findChild(badge, "icon").source.toString(), "")
        compare(square.color.toString(), "#00b8a9")
        fuzzyCompare(square.radius, 11.2, 0.01)
        const letter = findChild(badge, "letter")
        compare(letter.text, data.letter)
        compare(letter.font.pixelSize, 20)
    }

    function test_badgeUsesAnIconFile() {
        const badge = createTemporaryObject(badgeComponent, testCase,
                                            { name: "x", bundleId: "/usr/share/icons/hicolor/48x48/apps/absent.png" })
        verify(!badge.hasIcon)
    }

    function test_numbers_data() {
        return [
            { tag: "thousands", value: 12345, text: "12\u202f345" },
            { tag: "small", value: 7, text: "7" },
            { tag: "zero", value: 0, text: "0" },
            { tag: "millions", value: 1234567, text: "1\u202f234\u202f567" },
            { tag: "negative", value: -4200, text: "-4\u202f200" },
        ]
    }
    function test_numbers(data) {
        compare(Theme.number(data.value), data.text)
    }

    function test_symbols_data() {
        return [
            { tag: "globe", name: "globe", code: 0xe80b },
            { tag: "copy", name: "doc.on.doc", code: 0xe14d },
            { tag: "check", name: "checkmark.circle.fill", code: 0xe86c },
            { tag: "error", name: "exclamationmark.circle.fill", code: 0xe000 },
            { tag: "unknown", name: "no.such.symbol", code: 0 },
        ]
    }
    function test_symbols(data) {
        const symbol = createTemporaryObject(symbolComponent, testCase, { name: data.name })
        compare(symbol.text.length > 0 ? symbol.text.charCodeAt(0) : 0, data.code)
        compare(symbol.font.family, "Material Icons")
        // Decorative: hidden from screen readers unless labelled.
        verify(symbol.Accessible.ignored)
    }
}
