import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The history list's header: the title with the erase button and its confirmation,
// the choice between dictations and corrections, the search, the range and the
// application. Bound to the list's model.
Column {
    id: head
    readonly property HistoryListModel entries: ListView.view ? ListView.view.model as HistoryListModel : null
    readonly property var ranges: ["today", "week", "all"]

    width: ListView.view ? ListView.view.width : 0
    spacing: 20
    bottomPadding: 10

    PageHeader {
        width: parent.width
        title: "Historique"

        GlassButton {
            objectName: "clearAll"
            text: "Tout effacer"
            textColor: Theme.red
            enabled: head.entries ? head.entries.canClear : false
            onClicked: confirm.open()
        }
    }

    // The collection's file could not be read at start: said here, once.
    NoticeBanner {
        objectName: "unreadableNotice"
        width: parent.width
        text: head.entries ? head.entries.unreadableNotice : ""
        onClosed: head.entries.dismissUnreadableNotice()
    }

    HistorySegmentBar {
        objectName: "kindPicker"
        width: 260
        HistorySegment {
            width: 128
            text: "Dictées"
            checked: head.entries ? head.entries.kind === 0 : true
            onClicked: head.entries.kind = 0
        }
        HistorySegment {
            width: 128
            text: "Corrections"
            checked: head.entries ? head.entries.kind === 1 : false
            onClicked: head.entries.kind = 1
        }
    }

    RowLayout {
        width: parent.width
        spacing: 12

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: search.implicitHeight + 14
            radius: 8
            color: Theme.cardBackground
            border.width: 1
            border.color: Qt.alpha(Theme.secondaryText, 0.2)

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 10
                spacing: 6
                Symbol {
                    name: "magnifyingglass"
                    color: Theme.secondaryText
                }
                TextField {
                    id: search
                    objectName: "search"
                    Layout.fillWidth: true
                    placeholderText: "Rechercher"
                    placeholderTextColor: Theme.secondaryText
                    color: Theme.text
                    background: null
                    padding: 0
                    font.pixelSize: 13
                    Accessible.name: "Rechercher"
                    onTextChanged: if (head.entries) head.entries.search = text
                }
            }
        }

        HistorySegmentBar {
            objectName: "rangePicker"
            Layout.preferredWidth: 260
            HistorySegment {
                width: 85
                text: "Aujourd'hui"
                checked: head.entries ? head.entries.range === "today" : false
                onClicked: head.entries.range = "today"
            }
            HistorySegment {
                width: 85
                text: "7 jours"
                checked: head.entries ? head.entries.range === "week" : false
                onClicked: head.entries.range = "week"
            }
            HistorySegment {
                width: 86
                text: "Tout"
                checked: head.entries ? head.entries.range === "all" : true
                onClicked: head.entries.range = "all"
            }
        }

        SettingsPicker {
            objectName: "appPicker"
            Layout.preferredWidth: 180
            model: head.entries ? head.entries.appChoices : []
            label: "Application"
            current: head.entries ? head.entries.appIndex : 0
            onChosen: index => head.entries.appIndex = index
        }
    }

    ConfirmDialog {
        id: confirm
        objectName: "confirmClear"
        title: "Tout effacer ?"
        actionText: "Tout effacer"
        onConfirmed: head.entries.clearAll()
    }
}
