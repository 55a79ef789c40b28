pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import Ombry

// The five newest translations; absent while there is none.
Card {
    id: card
    padding: 20
    visible: recent.count > 0
    Accessible.role: Accessible.List
    Accessible.name: "Dernières traductions"

    RecentTranslations {
        id: recent
        store: Store
    }

    ColumnLayout {
        width: parent.width
        spacing: 10

        SectionTitle {
            text: "Dernières traductions"
        }

        Repeater {
            model: recent.rows

            RowLayout {
                id: row
                required property string appName
                required property string bundleID
                required property string original
                required property string result
                required property string time

                Layout.fillWidth: true
                spacing: 10
                Accessible.role: Accessible.ListItem
                Accessible.name: row.result

                AppBadge {
                    Layout.alignment: Qt.AlignTop
                    name: row.appName
                    bundleId: row.bundleID
                    size: 18
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    spacing: 2

                    Text {
                        Layout.fillWidth: true
                        text: row.original
                        textFormat: Text.PlainText
                        maximumLineCount: 1
                        elide: Text.ElideRight
                        font.pixelSize: 12
                        color: Theme.secondaryText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Text {
                        Layout.fillWidth: true
                        text: row.result
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        maximumLineCount: 2
                        elide: Text.ElideRight
                        font.pixelSize: 13
                        color: Theme.text
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
                Text {
                    Layout.alignment: Qt.AlignTop
                    text: row.time
                    font.pixelSize: 11
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }
}
