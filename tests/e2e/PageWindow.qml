import QtQuick
import Ombry

// One page of the main window on its own, for AT-SPI and screenshots.
Window {
    id: window
    property string page: "meetings"

    // As wide as a page of the main window at its smallest.
    width: 738
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
        anchors.margins: 28
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
