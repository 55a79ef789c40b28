pragma ComponentBehavior: Bound
import QtQuick
import Ombry

// The kinds of change the corrector may make; at least one stays on.
Flow {
    id: chips
    spacing: 6

    ScopeChipsModel {
        id: scope
        settings: AppSettings
    }

    Repeater {
        model: [
            { bit: 1, title: "Orthographe" },
            { bit: 2, title: "Grammaire et accords" },
            { bit: 4, title: "Ponctuation" },
            { bit: 8, title: "Majuscules et espaces" },
            { bit: 16, title: "Style plus fluide" }
        ]

        ToggleChip {
            required property var modelData
            text: modelData.title
            on: (scope.bits & modelData.bit) !== 0
            onClicked: scope.toggle(modelData.bit)
        }
    }
}
