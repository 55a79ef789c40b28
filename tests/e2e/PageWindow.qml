import QtQuick
import Ombry

// One page of the main window on its own, for AT-SPI and screenshots.
Window {
    id: window
    property string page: "meetings"

    width: 760
    height: 640
    title: "Ombry Voice — page"
    color: Theme.windowBackground

    AmbientBackground {
        anchors.fill: parent
        dark: Theme.dark
        lightVisuals: Kit.lightVisuals
    }

    Flickable {
        anchors.fill: parent
        anchors.margins: 24
        contentHeight: loader.height
        clip: true

        Loader {
            id: loader
            width: parent.width
            height: item ? item.implicitHeight : 0
            sourceComponent: window.page === "calls" ? calls : meetings
        }
    }

    Component {
        id: meetings
        MeetingsPage {}
    }
    Component {
        id: calls
        CallsTab {}
    }
}
