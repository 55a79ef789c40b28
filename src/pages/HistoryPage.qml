import QtQuick
import QtQuick.Controls
import Ombry

// The history: dictations or correction records by day, newest first, with a search,
// a time range and an application filter. The page scrolls itself: one list whose
// header holds the title, the pickers and the filters; rows are made as they come
// into view.
Item {
    id: page

    HistorySource {
        id: history
        store: Store
        player: RecordingPlayer
        settings: AppSettings
        keys: KeyStore
    }

    ListView {
        id: list
        objectName: "historyList"
        anchors.fill: parent
        clip: true
        model: history.list
        spacing: 10
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        header: HistoryHeader {}
        // The header's height is known only once it has its width: start at its top.
        onHeaderItemChanged: if (headerItem) headerItem.heightChanged.connect(() => {
            if (list.atYBeginning || list.contentY < list.originY + list.headerItem.height)
                list.positionViewAtBeginning()
        })

        section.property: "dayTitle"
        section.criteria: ViewSection.FullString
        section.delegate: Text {
            required property string section
            width: parent ? parent.width : 0
            topPadding: 10
            // The list's spacing does not come between a title and its first card.
            bottomPadding: 10
            text: section
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.secondaryText
            Accessible.role: Accessible.Heading
            Accessible.name: section
        }

        delegate: HistoryRow {}
    }

    // A dictation arriving while the list is scrolled goes in above what is on screen
    // without moving it.
    ListViewAnchor {
        view: list
    }
}
