import QtQuick
import Ombry

// A big figure of the dashboard. It counts up from zero when the page appears and,
// when its value changes, from the old value to the new one; at rest it shows the
// model's own text, so what is read is always the exact fr_FR figure.
PageLabel {
    id: count

    enum Style {
        Grouped, // "3 000"
        Plain, // "237"
        Words, // "1 250 mots"
        Duration // "1 h 02 min", from minutes
    }

    property real value
    property string finalText
    property int style: DashboardCount.Grouped
    // What is on screen while it counts: from zero when the page appears.
    property real shown: 0
    Component.onCompleted: shown = Qt.binding(() => count.value)

    function between(n: real): string {
        const v = Math.round(n)
        switch (count.style) {
        case DashboardCount.Plain:
            return String(v)
        case DashboardCount.Words:
            return Kit.formatNumber(v) + (v > 1 ? " mots" : " mot")
        case DashboardCount.Duration: {
            const h = Math.floor(v / 60)
            const m = v - 60 * h
            return h + " h " + (m < 10 ? "0" : "") + m + " min"
        }
        default:
            return Kit.formatNumber(v)
        }
    }

    text: shown === value ? finalText : between(shown)
    // A screen reader hears the figure once, not every step of the count.
    Accessible.name: finalText

    Behavior on shown {
        // Snapshots draw the figure at rest.
        enabled: !Kit.glassOff
        NumberAnimation {
            duration: 600
            easing.type: Easing.OutCubic
        }
    }
}
