import QtQuick
import QtTest
import Ombry

// The dashboard's big figures: while they count they are written as the model writes
// them at rest, and they always end on the model's exact text.
Item {
    width: 400
    height: 200

    DashboardCount {
        id: count
    }

    TestCase {
        name: "DashboardCount"
        when: windowShown

        function init() {
            Kit.glassOff = false
        }

        function cleanup() {
            Kit.glassOff = false
        }

        function test_between_data() {
            const nnbsp = "\u202F"
            return [
                { tag: "words 0", style: DashboardCount.Words, n: 0, text: "0 mot" },
                { tag: "words 1", style: DashboardCount.Words, n: 1, text: "1 mot" },
                { tag: "words 2", style: DashboardCount.Words, n: 2, text: "2 mots" },
                { tag: "words rounded down", style: DashboardCount.Words, n: 1250.4, text: "1" + nnbsp + "250 mots" },
                { tag: "words rounded up", style: DashboardCount.Words, n: 999.5, text: "1" + nnbsp + "000 mots" },
                { tag: "grouped", style: DashboardCount.Grouped, n: 3000, text: "3" + nnbsp + "000" },
                { tag: "grouped millions", style: DashboardCount.Grouped, n: 1234567, text: "1" + nnbsp + "234" + nnbsp + "567" },
                { tag: "plain", style: DashboardCount.Plain, n: 14900, text: "14900" },
                { tag: "duration none", style: DashboardCount.Duration, n: 0, text: "0 h 00 min" },
                { tag: "duration 65", style: DashboardCount.Duration, n: 65, text: "1 h 05 min" },
                { tag: "duration 1500", style: DashboardCount.Duration, n: 1500, text: "25 h 00 min" },
            ]
        }

        function test_between(data) {
            count.style = data.style
            compare(count.between(data.n), data.text)
        }

        function test_countsToTheExactText_data() {
            return [
                { tag: "up", from: 1250, to: 1750, toText: "1\u202F750 mots", snapshot: false },
                { tag: "down", from: 1250, to: 7, toText: "7 mots", snapshot: false },
                { tag: "snapshot draws at rest", from: 1250, to: 1750, toText: "1\u202F750 mots", snapshot: true },
            ]
        }

        function test_countsToTheExactText(data) {
            Kit.glassOff = data.snapshot
            count.style = DashboardCount.Words
            count.value = data.from
            count.finalText = count.between(data.from)
            tryCompare(count, "text", count.between(data.from))

            count.value = data.to
            count.finalText = data.toText
            // The reader hears the new figure at once; the eye sees it count from the old one.
            compare(count.Accessible.name, data.toText)
            compare(count.text, data.snapshot ? data.toText : count.between(data.from))
            tryCompare(count, "text", data.toText)
            tryCompare(count, "shown", data.to)
            compare(count.text, data.toText)
        }

        Component {
            id: fresh
            DashboardCount {
                style: DashboardCount.Words
                value: 1750
                finalText: "1\u202F750 mots"
            }
        }

        // A page that appears counts its figures up from zero; a snapshot draws them at rest.
        function test_countsUpWhenShown_data() {
            return [
                { tag: "shown", snapshot: false, first: "0 mot" },
                { tag: "snapshot", snapshot: true, first: "1\u202F750 mots" },
            ]
        }

        function test_countsUpWhenShown(data) {
            Kit.glassOff = data.snapshot
            const figure = createTemporaryObject(fresh, parent)
            verify(figure)
            compare(figure.text, data.first)
            compare(figure.Accessible.name, "1\u202F750 mots")
            tryCompare(figure, "text", "1\u202F750 mots")
        }
    }
}
