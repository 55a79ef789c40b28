import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The dashboard: today's figures, four tiles, the last fourteen days, where the user
// dictates and the latest dictations. Every text comes ready from DashboardModel.
Item {
    id: page
    implicitHeight: layout.implicitHeight

    DashboardModel {
        id: figures
        store: Store
        settings: AppSettings
    }

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 24

        PageHeader {
            Layout.fillWidth: true
            title: "Tableau de bord"

            PageLabel {
                objectName: "headerDate"
                text: figures.headerDate
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.secondaryText
            }
        }

        DashboardHeroCard {
            Layout.fillWidth: true
            wordsText: figures.todayWordsText
            words: figures.todayWordsCount
            streakValue: figures.streakValue
            streakLabel: figures.streakLabel
            fixesValue: figures.fixesValue
            fixesLabel: figures.fixesLabel
            spentText: figures.spentText
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            DashboardStatCard {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                icon: "text.word.spacing"
                title: "Mots dictés"
                number: figures.totalWords
                value: figures.totalWordsText
                detail: figures.dictationsText
            }
            DashboardStatCard {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                icon: "sun.max"
                title: "Aujourd'hui"
                number: figures.todayWordsCount
                value: figures.todayText
                detail: figures.deltaText
            }
            DashboardStatCard {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                icon: "speedometer"
                title: "Vitesse"
                number: figures.speed
                countStyle: DashboardCount.Plain
                value: figures.speedText
                detail: "mots par minute"
            }
            DashboardStatCard {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                icon: "hourglass"
                title: "Temps gagné"
                number: figures.savedMinutes
                countStyle: DashboardCount.Duration
                value: figures.savedText
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 16

            Card {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                padding: 20

                ColumnLayout {
                    width: parent.width
                    spacing: 16
                    SectionTitle {
                        text: "Mots dictés par jour"
                    }
                    DashboardChart {
                        Layout.fillWidth: true
                        Layout.preferredHeight: 240
                        days: figures.chart
                        ticks: figures.ticks
                    }
                }
            }

            Card {
                Layout.preferredWidth: 300
                Layout.alignment: Qt.AlignTop
                padding: 20

                ColumnLayout {
                    width: parent.width
                    spacing: 16
                    SectionTitle {
                        text: "Où je dicte"
                    }
                    Repeater {
                        model: figures.apps
                        delegate: ColumnLayout {
                            id: share
                            required property var modelData
                            Layout.fillWidth: true
                            spacing: 6

                            RowLayout {
                                Layout.fillWidth: true
                                spacing: 8
                                AppBadge {
                                    name: share.modelData.name
                                    bundleId: share.modelData.bundleID
                                    size: 18
                                }
                                PageLabel {
                                    Layout.fillWidth: true
                                    text: share.modelData.name
                                    textFormat: Text.PlainText
                                    elide: Text.ElideRight
                                    font.pixelSize: 13
                                    color: Theme.text
                                }
                                PageLabel {
                                    text: share.modelData.percent
                                    font.pixelSize: 12
                                    font.weight: Font.DemiBold
                                    color: Theme.secondaryText
                                }
                            }
                            Item {
                                Layout.fillWidth: true
                                implicitHeight: 6
                                Rectangle {
                                    anchors.fill: parent
                                    radius: 3
                                    color: Theme.accentLight
                                }
                                Rectangle {
                                    width: parent.width * share.modelData.share
                                    height: parent.height
                                    radius: 3
                                    color: Theme.accent
                                }
                            }
                        }
                    }
                }
            }
        }

        Card {
            objectName: "recentCard"
            Layout.fillWidth: true
            padding: 20
            visible: figures.recent.length > 0

            ColumnLayout {
                width: parent.width
                spacing: 12

                RowLayout {
                    Layout.fillWidth: true
                    SectionTitle {
                        text: "Mes dernières dictées"
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    LinkButton {
                        objectName: "seeAll"
                        text: "Tout voir"
                        pixelSize: 13
                        onClicked: Navigation.page = Navigation.History
                    }
                }
                Repeater {
                    model: figures.recent
                    delegate: ColumnLayout {
                        id: recent
                        required property var modelData
                        Layout.fillWidth: true
                        spacing: 12

                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 12
                            PageLabel {
                                Layout.preferredWidth: 44
                                Layout.alignment: Qt.AlignTop
                                text: recent.modelData.time
                                font.pixelSize: 12
                                font.weight: Font.DemiBold
                                color: Theme.secondaryText
                            }
                            AppBadge {
                                Layout.alignment: Qt.AlignTop
                                name: recent.modelData.appName
                                bundleId: recent.modelData.bundleID
                                size: 18
                            }
                            PageLabel {
                                Layout.fillWidth: true
                                Layout.alignment: Qt.AlignTop
                                text: recent.modelData.text
                                textFormat: Text.PlainText
                                wrapMode: Text.Wrap
                                maximumLineCount: 2
                                elide: Text.ElideRight
                                font.pixelSize: 13
                                color: Theme.text
                            }
                            PageLabel {
                                Layout.alignment: Qt.AlignTop
                                text: recent.modelData.words
                                font.pixelSize: 11
                                color: Theme.secondaryText
                            }
                        }
                        Rectangle {
                            Layout.fillWidth: true
                            implicitHeight: 1
                            color: Qt.alpha(Theme.secondaryText, 0.3)
                            opacity: 0.4
                            visible: !recent.modelData.last
                        }
                    }
                }
            }
        }
    }
}
