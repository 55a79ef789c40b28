pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Ombry

// The corrector: a text to correct, rephrase or summarise, and what came of it.
Item {
    id: page

    implicitHeight: layout.implicitHeight

    CorrectorModel {
        id: corrector
        settings: AppSettings
        store: Store
        keys: KeyStore
    }

    // Runs from anywhere on the page, not only from the editor.
    Shortcut {
        sequences: ["Ctrl+Return", "Ctrl+Enter"]
        enabled: corrector.canRun
        onActivated: corrector.run()
    }

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 18

        PageHeader {
            Layout.fillWidth: true
            title: "Correcteur"
            trailing: Rectangle {
                id: picker
                implicitWidth: 330
                implicitHeight: 30
                radius: 8
                color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.06)
                Accessible.role: Accessible.PageTabList
                Accessible.name: "Mode"

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 2
                    spacing: 2

                    Repeater {
                        model: corrector.modes

                        AbstractButton {
                            id: segment

                            required property var modelData
                            readonly property bool selected: corrector.mode === segment.modelData.mode

                            Layout.fillWidth: true
                            Layout.fillHeight: true
                            text: modelData.label
                            checkable: true
                            checked: selected
                            Accessible.role: Accessible.PageTab
                            Accessible.name: text
                            Accessible.onPressAction: segment.clicked()
                            onClicked: corrector.mode = segment.modelData.mode

                            background: Rectangle {
                                radius: 6
                                color: segment.selected ? (Theme.dark ? Qt.rgba(1, 1, 1, 0.16) : "white") : "transparent"
                            }

                            contentItem: Item {
                                implicitWidth: 100
                                implicitHeight: 26

                                Row {
                                    anchors.centerIn: parent
                                    spacing: 5

                                    Symbol {
                                        anchors.verticalCenter: parent.verticalCenter
                                        name: segment.modelData.icon
                                        font.pixelSize: 12
                                        color: Theme.text
                                    }

                                    Text {
                                        text: segment.text
                                        font.pixelSize: 12
                                        font.weight: segment.selected ? Font.DemiBold : Font.Normal
                                        color: Theme.text
                                        Accessible.ignored: true
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }

        // The editor and its bottom bar.
        Card {
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 12

                Item {
                    Layout.fillWidth: true
                    implicitHeight: Math.max(170, editor.implicitHeight)

                    TextArea {
                        id: editor
                        objectName: "correctorEditor"
                        anchors.fill: parent
                        padding: 0
                        leftPadding: 5
                        topPadding: 1
                        wrapMode: TextEdit.Wrap
                        textFormat: TextEdit.PlainText
                        selectByMouse: true
                        font.pixelSize: 15
                        color: Theme.text
                        background: null
                        Accessible.role: Accessible.EditableText
                        Accessible.name: "Texte à corriger"

                        onTextChanged: corrector.text = text

                        // Should the editor keep Ctrl+Return from the page's shortcut,
                        // it runs here, and never breaks the line.
                        Keys.onPressed: event => {
                            const enter = event.key === Qt.Key_Return || event.key === Qt.Key_Enter
                            if (enter && (event.modifiers & Qt.ControlModifier)) {
                                event.accepted = true
                                if (corrector.canRun)
                                    corrector.run()
                            }
                        }

                        Connections {
                            target: corrector
                            function onTextChanged() {
                                if (editor.text !== corrector.text)
                                    editor.text = corrector.text
                            }
                        }
                    }

                    Text {
                        x: 5
                        y: 1
                        visible: editor.text.length === 0
                        text: "Colle ou écris ton texte"
                        font.pixelSize: 15
                        color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.3)
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }

                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: 1
                    color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.12)
                    opacity: 0.5
                }

                // One row; the tone chips take a row of their own above the rest
                // when both do not fit beside each other.
                GridLayout {
                    id: bottomBar
                    readonly property bool stacked: corrector.mode === CorrectorModel.Rephrase
                        && toneChips.implicitWidth + wordCount.implicitWidth + clearButton.implicitWidth
                           + runButton.implicitWidth + 4 * columnSpacing > width
                    Layout.fillWidth: true
                    // Stacked: the chips, then the spacer, the word count, the clear and run buttons.
                    columns: stacked ? 4 : 7
                    columnSpacing: 10
                    rowSpacing: 10

                    Text {
                        objectName: "punctuationHint"
                        // Shortened rather than pushing the run button out of the card.
                        Layout.fillWidth: true
                        Layout.minimumWidth: 0
                        elide: Text.ElideRight
                        visible: corrector.mode === CorrectorModel.Correct
                        text: corrector.punctuationHint
                        font.pixelSize: 12
                        color: Theme.secondaryText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    Row {
                        id: toneChips
                        Layout.columnSpan: bottomBar.stacked ? bottomBar.columns : 1
                        visible: corrector.mode === CorrectorModel.Rephrase
                        spacing: 6

                        Repeater {
                            model: corrector.tones

                            AbstractButton {
                                id: chip

                                required property var modelData
                                readonly property bool selected: corrector.tone === chip.modelData.id

                                text: modelData.label
                                checkable: true
                                checked: selected
                                leftPadding: 10
                                rightPadding: 10
                                topPadding: 5
                                bottomPadding: 5
                                Accessible.role: Accessible.RadioButton
                                Accessible.name: text
                                Accessible.onPressAction: chip.clicked()
                                onClicked: corrector.tone = chip.modelData.id

                                background: Rectangle {
                                    radius: height / 2
                                    color: chip.selected ? Theme.accentFill
                                                         : Qt.rgba(Theme.secondaryText.r, Theme.secondaryText.g,
                                                                   Theme.secondaryText.b, 0.12)
                                }

                                contentItem: Row {
                                    spacing: 4

                                    Symbol {
                                        anchors.verticalCenter: parent.verticalCenter
                                        name: chip.modelData.icon
                                        font.pixelSize: 12
                                        color: chip.selected ? "white" : Theme.text
                                    }

                                    Text {
                                        text: chip.text
                                        font.pixelSize: 12
                                        font.weight: chip.selected ? Font.DemiBold : Font.Normal
                                        color: chip.selected ? "white" : Theme.text
                                        Accessible.ignored: true
                                    }
                                }
                            }
                        }
                    }

                    Item {
                        Layout.fillWidth: true
                    }

                    Row {
                        visible: corrector.liveCount >= 0 && corrector.mode === CorrectorModel.Correct
                                 && corrector.text.length > 0
                        spacing: 4

                        Symbol {
                            anchors.verticalCenter: parent.verticalCenter
                            name: corrector.liveCount === 0 ? "checkmark.circle" : "exclamationmark.circle"
                            font.pixelSize: 12
                            color: liveCount.color
                        }

                        Text {
                            id: liveCount
                            objectName: "liveCount"
                            text: corrector.liveCountText
                            font.pixelSize: 12
                            font.weight: Font.Medium
                            color: corrector.liveCount === 0 ? Theme.accentText : Theme.orange
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                    }

                    Text {
                        id: wordCount
                        objectName: "wordCount"
                        text: corrector.wordCountText
                        font.pixelSize: 12
                        color: Theme.secondaryText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    ToolButton {
                        id: clearButton
                        visible: corrector.text.length > 0
                        implicitWidth: 24
                        implicitHeight: 24
                        padding: 0
                        flat: true
                        Accessible.role: Accessible.Button
                        Accessible.name: "Effacer"
                        Accessible.onPressAction: clearButton.clicked()
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        ToolTip.text: "Effacer"
                        onClicked: corrector.clear()

                        contentItem: Symbol {
                            name: "xmark.circle"
                            font.pixelSize: 15
                            color: Theme.secondaryText
                        }
                    }

                    ProminentButton {
                        id: runButton
                        objectName: "runButton"
                        Layout.minimumWidth: implicitWidth
                        text: corrector.runLabel
                        enabled: corrector.canRun
                        leftPadding: 22
                        rightPadding: 22
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        ToolTip.text: "Ctrl+Entrée"
                        onClicked: corrector.run()

                        contentItem: Row {
                            spacing: 6

                            Spinner {
                                visible: corrector.working
                                running: visible
                                anchors.verticalCenter: parent.verticalCenter
                                Accessible.ignored: true
                            }

                            Symbol {
                                visible: !corrector.working
                                name: corrector.runIcon
                                color: "white"
                                font.pixelSize: runButton.font.pixelSize + 2
                                anchors.verticalCenter: parent.verticalCenter
                            }

                            Text {
                                text: runButton.text
                                font: runButton.font
                                color: "white"
                                anchors.verticalCenter: parent.verticalCenter
                                Accessible.ignored: true
                            }
                        }
                    }
                }
            }
        }

        Row {
            visible: corrector.error.length > 0
            spacing: 6

            Symbol {
                anchors.verticalCenter: parent.verticalCenter
                name: "exclamationmark.triangle"
                font.pixelSize: 13
                color: Theme.red
            }

            Text {
                objectName: "errorLine"
                width: Math.min(implicitWidth, layout.width - 30)
                text: corrector.error
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pixelSize: 13
                color: Theme.red
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
        }

        // The correction: the text with its changes marked, the score and the fixes.
        RowLayout {
            visible: corrector.hasAnalysis
            Layout.fillWidth: true
            spacing: 16

            Card {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                padding: 20

                ColumnLayout {
                    width: parent.width
                    spacing: 14

                    RowLayout {
                        Layout.fillWidth: true

                        SectionTitle {
                            text: "Texte corrigé"
                        }

                        Item {
                            Layout.fillWidth: true
                        }

                        CorrectorResultButtons {
                            copied: corrector.copied
                            onCopyClicked: corrector.copy(corrector.finalText)
                            onReplaceClicked: corrector.replace(corrector.finalText)
                        }
                    }

                    TextEdit {
                        id: corrected
                        objectName: "correctedText"
                        Layout.fillWidth: true
                        readOnly: true
                        selectByMouse: true
                        textFormat: TextEdit.PlainText
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 15
                        color: Theme.text
                        selectionColor: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.35)
                        text: corrector.finalText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text

                        ResultHighlighter {
                            textDocument: corrected.textDocument
                            ranges: corrector.highlights
                            background: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.18)
                            foreground: Theme.accentText
                        }
                    }
                }
            }

            ColumnLayout {
                Layout.preferredWidth: 350
                Layout.maximumWidth: 350
                Layout.alignment: Qt.AlignTop
                spacing: 16

                ScoreCard {
                    Layout.fillWidth: true
                    before: corrector.score
                    count: corrector.fixCount
                }

                Card {
                    Layout.fillWidth: true
                    padding: 20

                    ColumnLayout {
                        width: parent.width
                        spacing: 10

                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 8

                            SectionTitle {
                                objectName: "fixesTitle"
                                text: corrector.fixesTitle
                            }

                            Spinner {
                                visible: corrector.explaining
                                running: visible
                                Accessible.name: "Explications en cours"
                            }

                            Item {
                                Layout.fillWidth: true
                            }

                            LinkButton {
                                visible: corrector.fixCount > 0
                                text: corrector.anyIgnored ? "Tout accepter" : "Tout ignorer"
                                onClicked: corrector.toggleAll()
                            }
                        }

                        Repeater {
                            model: corrector.fixes

                            FixRow {
                                id: fixRow

                                required property string fixId

                                Layout.fillWidth: true
                                onToggled: corrector.toggleFix(fixRow.fixId)
                            }
                        }
                    }
                }
            }
        }

        // A rephrased or summarised text.
        Card {
            visible: corrector.hasRewrite
            Layout.fillWidth: true
            padding: 20

            ColumnLayout {
                width: parent.width
                spacing: 14

                RowLayout {
                    Layout.fillWidth: true

                    SectionTitle {
                        objectName: "rewriteTitle"
                        text: corrector.rewriteTitle
                    }

                    Item {
                        Layout.fillWidth: true
                    }

                    CorrectorResultButtons {
                        copied: corrector.copied
                        onCopyClicked: corrector.copy(corrector.rewritten)
                        onReplaceClicked: corrector.replace(corrector.rewritten)
                    }
                }

                TextEdit {
                    objectName: "rewrittenText"
                    Layout.fillWidth: true
                    readOnly: true
                    selectByMouse: true
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    font.pixelSize: 15
                    color: Theme.text
                    text: corrector.rewritten
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        FrequentMistakes {
            model: corrector.mistakes
            count: corrector.mistakes.count
            visible: !corrector.hasAnalysis && !corrector.hasRewrite && count > 0
            Layout.fillWidth: true
        }
    }
}
