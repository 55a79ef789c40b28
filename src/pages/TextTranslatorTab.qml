pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The text tab of the translation page: a text in any language, its translation.
Item {
    id: tab

    implicitHeight: layout.implicitHeight

    TranslatorModel {
        id: translator
        settings: AppSettings
        store: Store
        keys: KeyStore
        reader: Reader
    }

    component Pane: Card {
        id: pane
        property string title
        property string icon
        property alias body: bodySlot.data
        property alias trailing: trailingSlot.data
        property alias footer: footerSlot.data

        padding: 20

        ColumnLayout {
            width: parent.width
            height: parent.height
            spacing: 10

            // Both panes' headers and footers share one height, so that their
            // bodies and dividers line up whatever the trailing controls are.
            RowLayout {
                Layout.fillWidth: true
                Layout.minimumHeight: 26
                Row {
                    spacing: 6
                    Symbol {
                        anchors.verticalCenter: parent.verticalCenter
                        name: pane.icon
                        font.pixelSize: 13
                        color: Theme.accentText
                    }
                    Text {
                        text: pane.title
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: Theme.accentText
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }
                }
                Item {
                    Layout.fillWidth: true
                }
                Row {
                    id: trailingSlot
                }
            }
            Item {
                id: bodySlot
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 1
                color: Theme.separator
                opacity: 0.5
            }
            RowLayout {
                id: footerSlot
                Layout.fillWidth: true
                Layout.minimumHeight: 30
                spacing: 10
            }
        }
    }

    component IconButton: AbstractButton {
        id: iconButton
        property string symbol
        implicitWidth: 24
        implicitHeight: 24
        ToolTip.visible: hovered && text.length > 0
        ToolTip.text: text
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: iconButton.clicked()
        contentItem: Symbol {
            name: iconButton.symbol
            font.pixelSize: 14
            color: Theme.secondaryText
            opacity: iconButton.enabled ? 1 : 0.4
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 18

        PageHeader {
            Layout.fillWidth: true
            title: "Traduction"

            Row {
                spacing: 12

                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Ctrl+C trois fois traduit partout"
                    font.pixelSize: 12
                    font.weight: Font.Medium
                    color: Theme.secondaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                TranslationTabPicker {}
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.preferredHeight: 380
            spacing: 14

            Pane {
                objectName: "sourcePane"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.preferredWidth: 1
                title: translator.sourceTitle
                icon: "sparkles"

                body: ScrollView {
                    anchors.fill: parent
                    clip: true

                    TextArea {
                        id: editor
                        objectName: "translatorSource"
                        padding: 0
                        leftPadding: 5
                        topPadding: 1
                        wrapMode: TextEdit.Wrap
                        textFormat: TextEdit.PlainText
                        selectByMouse: true
                        font.pixelSize: 16
                        color: Theme.text
                        background: null
                        Accessible.role: Accessible.EditableText
                        Accessible.name: "Texte à traduire"
                        onTextChanged: translator.source = text

                        Connections {
                            target: translator
                            function onSourceChanged() {
                                if (editor.text !== translator.source)
                                    editor.text = translator.source
                            }
                        }

                        Text {
                            x: 5
                            y: 1
                            width: editor.width - 5
                            visible: editor.text.length === 0
                            text: "Écris ou colle ton texte, dans n'importe quelle langue"
                            wrapMode: Text.Wrap
                            font.pixelSize: 16
                            color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.3)
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                    }
                }

                footer: [
                    Text {
                        objectName: "characterCount"
                        text: translator.countText
                        font.pixelSize: 11
                        color: Theme.secondaryText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    },
                    Item {
                        Layout.fillWidth: true
                    },
                    IconButton {
                        symbol: "speaker.wave.2"
                        text: "Lire à voix haute"
                        enabled: translator.source.length > 0
                        onClicked: translator.speak(translator.source)
                    },
                    IconButton {
                        visible: translator.source.length > 0
                        symbol: "xmark.circle"
                        text: "Effacer"
                        onClicked: translator.clear()
                    }
                ]
            }

            GlassButton {
                objectName: "swapButton"
                Layout.alignment: Qt.AlignTop
                Layout.topMargin: 120
                implicitWidth: 40
                implicitHeight: 40
                padding: 0
                leftPadding: 0
                rightPadding: 0
                font.pixelSize: 15
                font.weight: Font.DemiBold
                // A round button with a symbol alone: centred, not laid out as a label.
                contentItem: Symbol {
                    name: "arrow.left.arrow.right"
                    font.pixelSize: 17
                    color: Theme.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                Accessible.name: "Inverser"
                ToolTip.visible: hovered
                ToolTip.text: "Inverser"
                onClicked: translator.swap()
            }

            Pane {
                objectName: "resultPane"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.preferredWidth: 1
                title: "Traduction"
                icon: "globe"

                trailing: SettingsPicker {
                    objectName: "targetPicker"
                    implicitWidth: 150
                    implicitHeight: 26
                    label: "Langue cible"
                    model: translator.targetNames
                    current: translator.targetIndex
                    onChosen: index => translator.chooseTarget(index)
                }

                body: ScrollView {
                    id: resultScroll
                    anchors.fill: parent
                    clip: true
                    ScrollBar.vertical.policy: ScrollBar.AsNeeded

                    TextEdit {
                        objectName: "translatorResult"
                        width: resultScroll.availableWidth
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.Wrap
                        textFormat: TextEdit.PlainText
                        text: translator.result.length > 0 ? translator.result : " "
                        font.pixelSize: 16
                        color: translator.working ? Theme.secondaryText : Theme.text
                        Accessible.role: Accessible.StaticText
                        Accessible.name: translator.result
                    }
                }

                footer: [
                    Spinner {
                        visible: translator.working
                        running: translator.working
                        Accessible.role: Accessible.Indicator
                        Accessible.name: "Traduction en cours"
                    },
                    Text {
                        objectName: "translatorError"
                        visible: translator.error.length > 0
                        Layout.fillWidth: true
                        text: translator.error
                        textFormat: Text.PlainText
                        maximumLineCount: 1
                        elide: Text.ElideRight
                        font.pixelSize: 11
                        color: Theme.red
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    },
                    Item {
                        Layout.fillWidth: true
                    },
                    IconButton {
                        symbol: "speaker.wave.2"
                        text: "Lire à voix haute"
                        enabled: translator.result.length > 0
                        onClicked: translator.speak(translator.result)
                    },
                    GlassButton {
                        objectName: "copyButton"
                        text: translator.copied ? "Copié" : "Copier"
                        symbol: translator.copied ? "checkmark" : "doc.on.doc"
                        font.pixelSize: 12
                        enabled: translator.result.length > 0
                        onClicked: translator.copy()
                    }
                ]
            }
        }

        RecentTranslationsCard {
            Layout.fillWidth: true
        }
    }
}
