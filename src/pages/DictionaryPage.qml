pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The personal words, the voice snippets and the automatic corrections.
Item {
    id: page

    implicitHeight: layout.implicitHeight

    DictionaryModel {
        id: dictionary
        store: Store
    }

    function addWord() {
        if (dictionary.addWord(newWord.text))
            newWord.text = ""
    }

    component Field: TextField {
        id: field
        property string label
        selectByMouse: true
        font.pixelSize: 13
        color: Theme.text
        placeholderTextColor: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.35)
        leftPadding: 8
        rightPadding: 8
        Accessible.role: Accessible.EditableText
        Accessible.name: label.length > 0 ? label : placeholderText
        background: Rectangle {
            implicitHeight: 28
            radius: 6
            color: Theme.dark ? Qt.rgba(1, 1, 1, 0.06) : "white"
            border.width: field.activeFocus ? 2 : 1
            border.color: field.activeFocus ? Theme.accent : Theme.separator
        }
    }

    component TrashButton: AbstractButton {
        id: trash
        implicitWidth: 24
        implicitHeight: 24
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: trash.clicked()
        contentItem: Symbol {
            name: "trash"
            font.pixelSize: 13
            color: trash.hovered ? Theme.red : Theme.secondaryText
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    component ColumnTitle: Text {
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: Theme.secondaryText
        elide: Text.ElideRight
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    component Divider: Rectangle {
        implicitHeight: 1
        color: Theme.separator
    }

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 24

        PageHeader {
            Layout.fillWidth: true
            title: "Dictionnaire"
        }

        NoticeBanner {
            id: unreadable
            Layout.fillWidth: true
            text: dictionary.unreadableNotice
            onClosed: text = ""
        }

        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 14

                SectionTitle {
                    text: "Mes mots"
                }

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    Field {
                        id: newWord
                        objectName: "newWord"
                        Layout.preferredWidth: 260
                        placeholderText: "Nouveau mot"
                        onAccepted: page.addWord()
                    }

                    ProminentButton {
                        objectName: "addWord"
                        text: "Ajouter"
                        enabled: dictionary.canAdd(newWord.text)
                        onClicked: page.addWord()
                    }
                }

                FlowLayout {
                    objectName: "wordChips"
                    Layout.fillWidth: true
                    Layout.preferredHeight: implicitHeight
                    spacing: 8
                    Accessible.role: Accessible.List
                    Accessible.name: "Mes mots"

                    Repeater {
                        model: dictionary.words

                        Rectangle {
                            id: chip
                            required property string word

                            implicitWidth: chipRow.implicitWidth + 20
                            implicitHeight: chipRow.implicitHeight + 12
                            radius: height / 2
                            color: Theme.accentLight
                            Accessible.role: Accessible.ListItem
                            Accessible.name: chip.word

                            Row {
                                id: chipRow
                                x: 10
                                y: 6
                                spacing: 6

                                Text {
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: chip.word
                                    textFormat: Text.PlainText
                                    font.pixelSize: 13
                                    color: Theme.text
                                    Accessible.role: Accessible.StaticText
                                    Accessible.name: text
                                }

                                AbstractButton {
                                    id: removeWord
                                    anchors.verticalCenter: parent.verticalCenter
                                    implicitWidth: 14
                                    implicitHeight: 14
                                    text: "Retirer " + chip.word
                                    Accessible.role: Accessible.Button
                                    Accessible.name: text
                                    Accessible.onPressAction: removeWord.clicked()
                                    onClicked: dictionary.removeWord(chip.word)
                                    contentItem: Symbol {
                                        name: "xmark"
                                        font.pixelSize: 9
                                        font.weight: Font.Bold
                                        color: Theme.secondaryText
                                        horizontalAlignment: Text.AlignHCenter
                                        verticalAlignment: Text.AlignVCenter
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }

        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 14

                RowLayout {
                    Layout.fillWidth: true

                    SectionTitle {
                        text: "Raccourcis vocaux"
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    ProminentButton {
                        objectName: "addSnippet"
                        text: "Ajouter"
                        symbol: "plus"
                        Accessible.name: "Ajouter un raccourci"
                        onClicked: dictionary.addSnippet()
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        ColumnTitle {
                            Layout.preferredWidth: 200
                            text: "Quand je dis"
                        }
                        Item {
                            Layout.preferredWidth: 14
                        }
                        ColumnTitle {
                            Layout.fillWidth: true
                            text: "Ombry Voice écrit"
                        }
                        Item {
                            Layout.preferredWidth: 24
                        }
                    }

                    Divider {
                        Layout.fillWidth: true
                    }

                    Repeater {
                        model: dictionary.snippets

                        RowLayout {
                            id: snippetRow
                            required property var model
                            required property string trigger
                            required property string text

                            Layout.fillWidth: true
                            spacing: 12

                            Field {
                                Layout.preferredWidth: 200
                                Layout.alignment: Qt.AlignTop
                                placeholderText: "mon adresse"
                                label: "Quand je dis"
                                text: snippetRow.trigger
                                onTextEdited: snippetRow.model.trigger = text
                            }
                            Symbol {
                                Layout.preferredWidth: 14
                                Layout.alignment: Qt.AlignTop
                                Layout.topMargin: 4
                                name: "arrow.right"
                                color: Theme.accent
                            }
                            Rectangle {
                                Layout.fillWidth: true
                                Layout.alignment: Qt.AlignTop
                                implicitHeight: Math.max(44, snippetText.implicitHeight)
                                radius: 6
                                color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.05)

                                TextArea {
                                    id: snippetText
                                    objectName: "snippetText"
                                    anchors.fill: parent
                                    // Tab goes to the next field, as in every other field:
                                    // a tab typed here would be pasted with every dictation.
                                    Keys.onTabPressed: event => snippetText.moveFocus(event, true)
                                    Keys.onBacktabPressed: event => snippetText.moveFocus(event, false)
                                    function moveFocus(event: KeyEvent, forward: bool) {
                                        const next = snippetText.nextItemInFocusChain(forward)
                                        if (next)
                                            next.forceActiveFocus(forward ? Qt.TabFocusReason : Qt.BacktabFocusReason)
                                        event.accepted = true
                                    }
                                    padding: 4
                                    wrapMode: TextEdit.Wrap
                                    textFormat: TextEdit.PlainText
                                    selectByMouse: true
                                    font.pixelSize: 13
                                    color: Theme.text
                                    background: null
                                    text: snippetRow.text
                                    Accessible.role: Accessible.EditableText
                                    Accessible.name: "Ombry Voice écrit"
                                    onTextChanged: {
                                        if (text !== snippetRow.text)
                                            snippetRow.model.text = text
                                    }
                                }
                            }
                            TrashButton {
                                Layout.alignment: Qt.AlignTop
                                Layout.topMargin: 4
                                text: "Supprimer le raccourci"
                                onClicked: dictionary.removeSnippet(snippetRow.model.id)
                            }
                        }
                    }
                }
            }
        }

        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 14

                RowLayout {
                    Layout.fillWidth: true

                    SectionTitle {
                        text: "Corrections automatiques"
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    ProminentButton {
                        objectName: "addCorrection"
                        text: "Ajouter"
                        symbol: "plus"
                        Accessible.name: "Ajouter une correction"
                        onClicked: dictionary.addCorrection()
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 8

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        ColumnTitle {
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            text: "Ce qui est entendu"
                        }
                        Item {
                            Layout.preferredWidth: 14
                        }
                        ColumnTitle {
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            text: "Ce qui doit s'écrire"
                        }
                        Item {
                            Layout.preferredWidth: 24
                        }
                    }

                    Divider {
                        Layout.fillWidth: true
                    }

                    Repeater {
                        model: dictionary.corrections

                        RowLayout {
                            id: correctionRow
                            required property var model
                            required property string heard
                            required property string written

                            Layout.fillWidth: true
                            spacing: 12

                            Field {
                                Layout.fillWidth: true
                                Layout.preferredWidth: 1
                                label: "Ce qui est entendu"
                                text: correctionRow.heard
                                onTextEdited: correctionRow.model.heard = text
                            }
                            Symbol {
                                Layout.preferredWidth: 14
                                name: "arrow.right"
                                color: Theme.accent
                            }
                            Field {
                                Layout.fillWidth: true
                                Layout.preferredWidth: 1
                                label: "Ce qui doit s'écrire"
                                text: correctionRow.written
                                onTextEdited: correctionRow.model.written = text
                            }
                            TrashButton {
                                text: "Supprimer la correction"
                                onClicked: dictionary.removeCorrection(correctionRow.model.id)
                            }
                        }
                    }
                }
            }
        }
    }
}
