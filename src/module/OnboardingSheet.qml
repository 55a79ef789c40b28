import QtQuick
import Ombry

// The slot of the first-run onboarding: a sheet over the window while the user
// is not onboarded. Escape dismisses it, which counts as onboarded.
Loader {
    id: sheet

    focus: active
    sourceComponent: Item {
        focus: true
        Keys.onEscapePressed: InterfaceKeys.onboarded = true

        // Takes every click away from the window beneath.
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            onWheel: wheel => wheel.accepted = true
        }

        Rectangle {
            anchors.fill: parent
            color: Qt.rgba(0, 0, 0, Theme.dark ? 0.5 : 0.25)
        }

        // The glass alone lets the page beneath show through the texts.
        Rectangle {
            anchors.fill: view
            radius: 22
            color: Theme.cardBackground
        }

        OnboardingView {
            id: view
            anchors.centerIn: parent
        }
    }
}
