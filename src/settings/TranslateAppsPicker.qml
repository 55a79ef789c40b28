pragma ComponentBehavior: Bound
import QtQuick
import Ombry

// The applications seen so far, as chips: a marked one has its dictations translated.
Item {
    id: picker
    implicitHeight: apps.apps.length === 0 ? empty.implicitHeight : flow.implicitHeight

    TranslateApps {
        id: apps
        settings: AppSettings
        store: Store
    }

    Text {
        id: empty
        visible: apps.apps.length === 0
        width: parent.width
        text: "Dicte une première fois dans une appli pour la voir ici."
        wrapMode: Text.WordWrap
        font.pixelSize: 12
        color: Theme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    FlowLayout {
        id: flow
        objectName: "translateApps"
        visible: apps.apps.length > 0
        width: parent.width
        spacing: 6

        Repeater {
            model: apps.apps

            ToggleChip {
                required property var modelData
                text: modelData.name
                on: modelData.marked
                badge: true
                badgeName: modelData.name
                badgeId: modelData.bundleId
                onClicked: apps.toggle(modelData.bundleId)
            }
        }
    }
}
