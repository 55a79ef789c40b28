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

    // Every pair of colours the views draw text with, measured in both
    // appearances: 4.5:1 for text, 3:1 for large titles. The backgrounds are
    // composed as the views compose them: a card is its colour at 0.85 over the
    // window's ambient base, a selection its fill over that card.
    function test_textContrast_data() {
        const base = dark => dark ? Qt.rgba(0.05, 0.09, 0.1, 1) : Qt.rgba(0.95, 0.98, 0.98, 1)
        const card = dark => Kit.over(Qt.alpha(Theme.cardBackground, 0.85), base(dark))
        const pairs = [
            { tag: "text on card", fg: () => Theme.text, bg: card, min: 4.5 },
            { tag: "secondary on card", fg: () => Theme.secondaryText, bg: card, min: 4.5 },
            { tag: "secondary on window", fg: () => Theme.secondaryText, bg: base, min: 4.5 },
            { tag: "accent text on card", fg: () => Theme.accentText, bg: card, min: 4.5 },
            { tag: "selected entry", fg: () => Theme.accentText, bg: d => Kit.over(Theme.selectedFill, card(d)), min: 4.5 },
            { tag: "icon square", fg: () => Theme.accentText, bg: d => Kit.over(Qt.alpha(Theme.accent, 0.13), card(d)), min: 4.5 },
            { tag: "red on card", fg: () => Theme.red, bg: card, min: 4.5 },
            { tag: "orange on card", fg: () => Theme.orange, bg: card, min: 4.5 },
            // The banner's faded label, on both ends of its gradient: plain white on the fill is clearer still.
            { tag: "banner label on its end", fg: () => Qt.rgba(1, 1, 1, 0.85), bg: () => Theme.accentFillEnd, min: 4.5 },
            { tag: "banner label on the accent fill", fg: () => Qt.rgba(1, 1, 1, 0.85), bg: () => Theme.accentFill, min: 4.5 },
            { tag: "white on red fill", fg: () => "white", bg: () => Theme.redFill, min: 4.5 },
        ]
        const rows = []
        for (const dark of [false, true])
            for (const p of pairs)
                rows.push({ tag: p.tag + (dark ? ", dark" : ", light"), dark: dark, fg: p.fg, bg: p.bg, min: p.min })
        return rows
    }
    function test_textContrast(data) {
        AppSettings.theme = data.dark ? Ombry.Theme.Dark : Ombry.Theme.Light
        compare(Theme.dark, data.dark)
        const ratio = Kit.contrast(data.fg(), data.bg(data.dark))
        verify(ratio >= data.min, ratio.toFixed(2) + ":1")
    }

    // The measure itself, on pairs whose ratio is known.
    function test_contrastMeasure_data() {
        return [
            { tag: "black on white", fg: "black", bg: "white", ratio: 21 },
            { tag: "white on the bright accent", fg: "white", bg: "#00B8A9", ratio: 2.49 },
            { tag: "grey 777 on white", fg: "#777777", bg: "white", ratio: 4.48 },
            { tag: "half-transparent black is grey", fg: Qt.rgba(0, 0, 0, 0.5), bg: "white", ratio: 3.98 },
            { tag: "translucent background shows white", fg: "black", bg: Qt.rgba(0, 0, 0, 0), ratio: 21 },
        ]
    }
    function test_contrastMeasure(data) {
        fuzzyCompare(Kit.contrast(data.fg, data.bg), data.ratio, 0.01)
    }


    Component {
        id: glassButtonComponent
        GlassButton { text: "Copier"; symbol: "doc.on.doc" }
    }
    Component {
        id: prominentButtonComponent
        ProminentButton { text: "Corriger"; symbol: "checkmark.seal" }
    }

    // What the eye gets of an item: its opacity times that of every parent.
    function seenOpacity(item) {
        let o = 1
        for (let i = item; i; i = i.parent)
            o *= i.opacity
        return o
    }
    // The button's label: the text that is not a symbol.
    function findLabel(item) {
        for (let i = 0; i < item.children.length; ++i) {
            const c = item.children[i]
            if (c.truncated !== undefined && c.name === undefined && c.text.length > 0)
                return c
            const inner = findLabel(c)
            if (inner)
                return inner
        }
        return null
    }

    // One disabled look for every kit button: the label fades with the fill,
    // not the fill alone.
    function test_disabledButtonsFadeTheirLabel_data() {
        return [
            { tag: "glass", component: glassButtonComponent },
            { tag: "prominent", component: prominentButtonComponent },
        ]
    }
    function test_disabledButtonsFadeTheirLabel(data) {
        const button = createTemporaryObject(data.component, testCase)
        const label = findLabel(button.contentItem)
        verify(label)
        compare(label.text, button.text)
        const enabled = seenOpacity(label)
        const fill = seenOpacity(button.background)
        button.enabled = false
        verify(seenOpacity(label) <= enabled * 0.5, "label " + seenOpacity(label))
        verify(seenOpacity(button.background) <= fill * 0.5, "fill " + seenOpacity(button.background))
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
