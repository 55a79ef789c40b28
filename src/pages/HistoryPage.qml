import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The history: dictations or correction records by day, newest first, with a search,
// a time range and an application filter. The page scrolls itself: one list whose
// header holds the title, the pickers and the filters; rows are made as they come
// into view.
Item {
    id: page

    HistoryListModel {
        id: history
    }

    ListView {
        id: list
        objectName: "historyList"
        anchors.fill: parent
        clip: true
        model: history
        spacing: 10
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        header: Column {
            width: list.width
            spacing: 20
            bottomPadding: 10

            PageHeader {
                width: parent.width
                title: "Historique"

                Button {
                    objectName: "clearAll"
                    text: "Tout effacer"
                    enabled: history.canClear
                    Accessible.name: text
                    palette.buttonText: Theme.red
                    onClicked: confirm.open()
                }
            }

            HistorySegments {
                objectName: "kindPicker"
                width: 260
                labels: ["Dictées", "Corrections"]
                current: history.kind
                onChosen: index => history.kind = index
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
                            onTextChanged: history.search = text
                        }
                    }
                }

                HistorySegments {
                    objectName: "rangePicker"
                    Layout.preferredWidth: 260
                    labels: ["Aujourd'hui", "7 jours", "Tout"]
                    current: ["today", "week", "all"].indexOf(history.range)
                    onChosen: index => history.range = ["today", "week", "all"][index]
                }

                ComboBox {
                    id: appPicker
                    objectName: "appPicker"
                    Layout.preferredWidth: 180
                    model: ["Toutes les applis"].concat(history.appNames)
                    Accessible.name: "Application"
                    currentIndex: Math.max(0, history.appNames.indexOf(history.app) + 1)
                    onActivated: index => history.app = index === 0 ? "" : history.appNames[index - 1]
                }
            }
        }

        section.property: "dayTitle"
        section.criteria: ViewSection.FullString
        section.delegate: Text {
            required property string section
            width: list.width
            topPadding: 10
            text: section
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.secondaryText
            Accessible.role: Accessible.Heading
            Accessible.name: section
        }

        delegate: HistoryRow {
            width: list.width
            entries: history
        }
    }

    Dialog {
        id: confirm
        objectName: "confirmClear"
        title: "Tout effacer ?"
        modal: true
        anchors.centerIn: Overlay.overlay
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
        Accessible.role: Accessible.Dialog
        Accessible.name: title

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
                    history.clearAll()
                    confirm.close()
                }
            }
        }
    }
}
