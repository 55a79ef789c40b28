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

        Button {
            objectName: "clearAll"
            text: "Tout effacer"
            enabled: head.entries ? head.entries.canClear : false
            Accessible.name: text
            palette.buttonText: Theme.red
            onClicked: confirm.open()
        }
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

        ComboBox {
            objectName: "appPicker"
            Layout.preferredWidth: 180
            model: ["Toutes les applis"].concat(head.entries ? head.entries.appNames : [])
            Accessible.name: "Application"
            currentIndex: head.entries ? Math.max(0, head.entries.appNames.indexOf(head.entries.app) + 1) : 0
            onActivated: index => head.entries.app = index === 0 ? "" : head.entries.appNames[index - 1]
        }
    }

    Dialog {
        id: confirm
        objectName: "confirmClear"
        title: "Tout effacer ?"
        modal: true
        parent: Overlay.overlay
        x: (parent.width - width) / 2
        y: (parent.height - height) / 2
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

        footer: DialogButtonBox {
            Button {
                text: "Annuler"
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
                Accessible.name: text
            }
            Button {
                objectName: "confirmClearButton"
                text: "Tout effacer"
                palette.buttonText: Theme.red
                DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
                Accessible.name: text
                onClicked: {
                    head.entries.clearAll()
                    confirm.close()
                }
            }
        }
    }
}
