import QtQuick
import QtTest
import Ombry

TestCase {
    name: "StatusCard"

    StatusCard {
        id: card
    }

    function test_title_data() {
        return [
            { tag: "idle", meeting: false, state: DictationController.Idle, translating: false, title: "Prêt", colour: "#34c759" },
            { tag: "recording", meeting: false, state: DictationController.Recording, translating: false, title: "J'écoute…", colour: "#ff3b30" },
            { tag: "processing", meeting: false, state: DictationController.Processing, translating: false, title: "Mise au propre…", colour: "#ff9500" },
            { tag: "correcting", meeting: false, state: DictationController.Correcting, translating: false, title: "Correction…", colour: "#ff9500" },
            { tag: "translating", meeting: false, state: DictationController.Correcting, translating: true, title: "Traduction…", colour: "#ff9500" },
            // The flag only counts while correcting.
            { tag: "translating flag while processing", meeting: false, state: DictationController.Processing, translating: true, title: "Mise au propre…", colour: "#ff9500" },
            { tag: "meeting outranks idle", meeting: true, state: DictationController.Idle, translating: false, title: "Réunion en cours", colour: "#ff3b30" },
            { tag: "meeting outranks processing", meeting: true, state: DictationController.Processing, translating: false, title: "Réunion en cours", colour: "#ff3b30" },
            // No engine can serve a dictation: said instead of "Prêt".
            { tag: "idle without a key", meeting: false, state: DictationController.Idle, translating: false, missing: true, title: "Clé OpenRouter manquante", colour: "#ff9500" },
            { tag: "recording without a key", meeting: false, state: DictationController.Recording, translating: false, missing: true, title: "J'écoute…", colour: "#ff3b30" },
        ]
    }

    function test_title(data) {
        const missing = data.missing === true
        compare(card.titleFor(data.meeting, data.state, data.translating, missing), data.title)
        compare(card.colorFor(data.meeting, data.state, missing).toString(), data.colour)
    }

    function test_followsTheControllerAndTheKey_data() {
        return [
            { tag: "rightControl", key: Ombry.DictationKey.RightControl, label: "Ctrl droit" },
            { tag: "rightSuper", key: Ombry.DictationKey.RightSuper, label: "Super droit" },
        ]
    }

    function test_followsTheControllerAndTheKey(data) {
        AppSettings.key = data.key
        const keyLine = findChild(card, "statusKey")
        compare(keyLine.text, data.label)
        compare(findChild(card, "statusTitle").text, "Prêt")
        card.meetingRecording = true
        compare(findChild(card, "statusTitle").text, "Réunion en cours")
        card.meetingRecording = false
    }
}
