import QtQuick
import QtQuick.Layouts
import Ombry

// The live-call tab: which application to subtitle, start and stop, the
// floating bar, and the lines of the current run, newest first.
Item {
    id: tab

    readonly property bool running: CallTranslator.running

    implicitHeight: layout.implicitHeight

    CallsSource {
        id: source
        translator: CallTranslator
        active: tab.visible
    }

    readonly property bool actionsBelow: header.titleWidth + 2 * header.spacing + picker.implicitWidth + 10
                                         + actions.implicitWidth > layout.width

    Row {
        id: actions
        parent: tab.actionsBelow ? belowActions : headerActions
        spacing: 10

        GlassButton {
            objectName: "floatingButton"
            symbol: "macwindow.on.rectangle"
            text: "Fenêtre flottante"
            onClicked: SubtitleWindow.show()
        }
        ProminentButton {
            objectName: "subtitlesButton"
            symbol: tab.running ? "stop.fill" : "captions.bubble.fill"
            text: tab.running ? "Arrêter" : "Démarrer"
            tint: tab.running ? Theme.redFill : Theme.accentFill
            onClicked: tab.running ? CallTranslator.stop() : CallTranslator.start()
        }
    }

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 18

        PageHeader {
            id: header
            Layout.fillWidth: true
            title: "Traduction"

            RowLayout {
                spacing: 10

                TranslationTabPicker {
                    id: picker
                }
                // The actions' place in the header; empty when they sit below it.
                Item {
                    id: headerActions
                    implicitWidth: tab.actionsBelow ? 0 : actions.implicitWidth
                    implicitHeight: actions.implicitHeight
                }
            }
        }

        // Below the header when the header cannot hold them with their labels;
        // the tab picker keeps its place either way.
        Item {
            id: belowActions
            visible: tab.actionsBelow
            Layout.alignment: Qt.AlignRight
            Layout.topMargin: -8
            implicitWidth: actions.implicitWidth
            implicitHeight: actions.implicitHeight
        }

        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 12

                RowLayout {
                    Layout.fillWidth: true
                    SectionTitle {
                        text: "Quelle appli traduire ?"
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    Text {
                        text: "Anglais → français"
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        color: Theme.secondaryText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }

                GridView {
                    id: grid
                    objectName: "appGrid"
                    // Adaptive columns of at least 120 px, 10 px apart.
                    readonly property int columns: Math.max(1, Math.floor((width + 10) / 130))

                    Layout.fillWidth: true
                    Layout.preferredHeight: contentHeight
                    interactive: false
                    enabled: !tab.running
                    cellWidth: (width + 10) / columns
                    cellHeight: 96
                    model: source.apps
                    Accessible.role: Accessible.List
                    Accessible.name: "Applications"

                    delegate: CallAppTile {
                        required property string appId
                        required property string name
                        required property string iconSource
                        required property bool running

                        width: (GridView.view as GridView).cellWidth - 10
                        height: 86
                        text: name
                        iconKey: iconSource
                        selected: CallTranslator.targetBundleID === appId
                        dim: !running
                        onClicked: CallTranslator.targetBundleID = appId
                    }
                }

                Text {
                    visible: tab.running
                    text: "Arrête les sous-titres pour changer d'appli."
                    font.pixelSize: 11
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        RowLayout {
            visible: CallTranslator.error.length > 0
            spacing: 6
            Symbol {
                name: "exclamationmark.triangle"
                color: Theme.orange
                size: 14
            }
            Text {
                Layout.fillWidth: true
                text: CallTranslator.error
                textFormat: Text.PlainText
                wrapMode: Text.WordWrap
                font.pixelSize: 13
                color: Theme.orange
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
        }

        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 12

                RowLayout {
                    spacing: 8
                    Rectangle {
                        width: 8
                        height: 8
                        radius: 4
                        color: tab.running ? Theme.red : Qt.alpha(Theme.secondaryText, 0.5)
                    }
                    SectionTitle {
                        text: tab.running ? "En direct · " + (CallTranslator.targetName.length > 0
                                                              ? CallTranslator.targetName : "tout l'ordinateur")
                                          : "Sous-titres"
                        textFormat: Text.PlainText
                    }
                }

                Text {
                    Layout.fillWidth: true
                    visible: source.lineCount === 0 && CallTranslator.live.length === 0
                    text: tab.running ? "J'écoute… les phrases traduites apparaîtront ici."
                                      : "Choisis l'appli de ton appel, puis Démarrer. Les sous-titres apparaissent aussi dans une fenêtre flottante."
                    wrapMode: Text.WordWrap
                    font.pixelSize: 13
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }

                ListView {
                    id: lines
                    objectName: "subtitleLines"
                    Layout.fillWidth: true
                    Layout.preferredHeight: contentHeight
                    visible: source.lineCount > 0
                    interactive: false
                    model: source.lines
                    Accessible.role: Accessible.List
                    Accessible.name: "Sous-titres"

                    delegate: ColumnLayout {
                        id: line
                        required property int index
                        required property string en
                        required property string fr
                        required property bool done

                        width: ListView.view.width
                        spacing: 3

                        TextEdit {
                            Layout.fillWidth: true
                            text: line.fr.length > 0 ? line.fr : "…"
                            textFormat: TextEdit.PlainText
                            readOnly: true
                            selectByMouse: true
                            wrapMode: TextEdit.Wrap
                            font.pixelSize: 17
                            font.weight: Font.DemiBold
                            color: line.done ? Theme.text : Theme.secondaryText
                            selectionColor: Qt.alpha(Theme.accent, 0.35)
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                        TextEdit {
                            Layout.fillWidth: true
                            text: line.en
                            textFormat: TextEdit.PlainText
                            readOnly: true
                            selectByMouse: true
                            wrapMode: TextEdit.Wrap
                            font.pixelSize: 12
                            color: Theme.secondaryText
                            selectionColor: Qt.alpha(Theme.accent, 0.35)
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                        Rectangle {
                            Layout.fillWidth: true
                            Layout.topMargin: 6
                            Layout.bottomMargin: 6
                            implicitHeight: 1
                            color: Qt.alpha(Theme.text, 0.3 * 0.25)
                        }
                    }
                }

                Text {
                    Layout.fillWidth: true
                    visible: CallTranslator.live.length > 0
                    text: CallTranslator.live
                    textFormat: Text.PlainText
                    wrapMode: Text.WordWrap
                    font.pixelSize: 13
                    font.italic: true
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }
}
