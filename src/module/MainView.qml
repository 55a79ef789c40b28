import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The main window's root: the sidebar, and beside it the update banner over the
// page that Navigation chooses; the onboarding sheet over everything until the
// user is onboarded. A page that sets no implicitHeight fills the column and
// scrolls itself; a taller one is scrolled by the column.
Item {
    id: root

    // False for snapshots: a long page is cut at the bottom, not scrolled.
    property bool scrolls: true

    anchors.fill: parent
    // The least the view needs: every page fits from here up. The window adds
    // its menu bar to it.
    implicitWidth: 1000
    implicitHeight: 650

    readonly property list<Component> pages: [
        Component { DashboardPage {} },
        Component { CorrectorPage {} },
        Component { TranslatorPage {} },
        Component { MeetingsPage {} },
        Component { HistoryPage {} },
        Component { DictionaryPage {} },
        Component { SettingsPage {} }
    ]

    AmbientBackground {
        anchors.fill: parent
        dark: Theme.dark
        lightVisuals: Kit.lightVisuals
    }

    Item {
        id: frame
        // Never below the view's minimum, whatever the window offers; cut at the
        // right and bottom then, never above the top.
        width: Math.max(root.width, root.implicitWidth)
        height: Math.max(root.height, root.implicitHeight)

        Sidebar {
            id: sidebar
            x: 12
            y: 12
            width: 250
            height: frame.height - 24
        }

        Flickable {
            id: column
            x: sidebar.x + sidebar.width
            width: frame.width - x
            height: frame.height
            clip: true
            interactive: root.scrolls && contentHeight > height
            boundsBehavior: Flickable.StopAtBounds
            contentWidth: width
            contentHeight: Math.max(height, pageView.neededHeight)

            ScrollBar.vertical: ScrollBar {
                policy: root.scrolls && column.contentHeight > column.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }

            Item {
                id: pageView
                readonly property real neededHeight: 34 + 28 + layout.implicitHeight
                // Never wider than 1160 with its padding, kept to the sidebar's side.
                width: Math.min(column.width, 1160)
                height: column.contentHeight

                ColumnLayout {
                    id: layout
                    anchors.fill: parent
                    anchors.leftMargin: 28
                    anchors.rightMargin: 28
                    anchors.topMargin: 34
                    anchors.bottomMargin: 28
                    spacing: 16

                    // Only while something could not be written, or a quit would lose it.
                    Loader {
                        Layout.fillWidth: true
                        active: Store.writeProblem.length > 0 || Shell.quitWarning.length > 0
                        visible: active
                        sourceComponent: StorageBanner {}
                    }

                    // Nothing at all, not even for a screen reader, until a release is offered.
                    Loader {
                        Layout.fillWidth: true
                        active: Updater.bannerVisible
                        visible: active
                        sourceComponent: UpdateBanner {}
                    }

                    Loader {
                        id: page
                        objectName: "page"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        // A new page view at each change: what was typed goes with it.
                        sourceComponent: root.pages[Navigation.page]
                    }
                }
            }
        }
    }

    // The first-run sheet, never in a snapshot.
    OnboardingSheet {
        objectName: "onboarding"
        anchors.fill: parent
        active: !InterfaceKeys.onboarded && !RenderMode.snapshot
    }
}
