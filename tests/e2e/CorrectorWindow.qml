import QtQuick
import Ombry

// The corrector page alone in a window, as the main window lays a page out.
Window {
    width: 1100
    height: 900
    title: "Ombry Voice — correcteur"
    color: Theme.windowBackground

    Flickable {
        anchors.fill: parent
        contentWidth: width
        contentHeight: page.implicitHeight + 56
        boundsBehavior: Flickable.StopAtBounds

        CorrectorPage {
            id: page
            objectName: "correctorPage"
            x: 28
            y: 28
            width: parent.width - 56
        }
    }
}
