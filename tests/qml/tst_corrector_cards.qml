import QtQuick
import QtTest
import Ombry

Item {
    width: 400
    height: 300

    ScoreCard {
        id: score
        width: 350
    }

    FixRow {
        id: row
        y: 120
        width: 350
        original: "a"
        correction: "à"
        kind: "Orthographe"
        onToggled: ignored = !ignored
    }

TestCase {
    name: "CorrectorCards"
    when: windowShown

    function test_scoreColour_data() {
        return [
            { tag: "59 red", before: 59, colour: "#ff3b30" },
            { tag: "60 orange", before: 60, colour: "#ff9500" },
            { tag: "84 orange", before: 84, colour: "#ff9500" },
            { tag: "85 accent", before: 85, colour: Theme.accent.toString() },
            { tag: "100 accent", before: 100, colour: Theme.accent.toString() },
        ]
    }

    function test_scoreColour(data) {
        score.before = data.before
        compare(score.arcColor.toString(), data.colour)
        compare(findChild(score, "score").text, String(data.before))
    }

    function test_scoreLine_data() {
        return [
            { tag: "nothing corrected", count: 0, line: "Parfait, rien à corriger" },
            { tag: "one fix", count: 1, line: "100 / 100 après correction" },
            { tag: "many fixes", count: 12, line: "100 / 100 après correction" },
        ]
    }

    function test_scoreLine(data) {
        score.count = data.count
        compare(findChild(score, "scoreAfter").text, data.line)
    }

    function test_explanationLine_data() {
        return [
            { tag: "explained", explanation: "On écrit « à » devant un lieu.", shown: true },
            { tag: "not explained", explanation: "", shown: false },
        ]
    }

    function test_explanationLine(data) {
        row.explanation = ""
        wait(50) // the layout settles at the next polish
        const withoutLine = row.implicitHeight
        row.explanation = data.explanation
        compare(findChild(row, "fixExplanation").visible, data.shown)
        // No blank line for a missing explanation: only an explanation makes the row taller.
        wait(50)
        compare(row.implicitHeight > withoutLine, data.shown)
    }

    function test_toggle() {
        row.ignored = false
        compare(row.opacity, 1)
        const button = findChild(row, "fixToggle")
        compare(button.text, "Ignorer")
        mouseClick(button)
        compare(row.ignored, true)
        compare(button.text, "Rétablir")
        compare(row.opacity, 0.5)
        mouseClick(button)
        compare(button.text, "Ignorer")
        compare(row.opacity, 1)
    }
}
}
