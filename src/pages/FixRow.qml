import QtQuick
import QtQuick.Layouts
import Ombry

// One change of the shown correction: what it was, what it became, its kind, why,
// and the button that ignores or restores it.
Rectangle {
    id: row

    required property string original
    required property string correction
    required property string kind
    required property string explanation
    required property bool ignored

    signal toggled()

    implicitHeight: content.implicitHeight + 20
    radius: 12
    color: Qt.rgba(Theme.text.r, Theme.text.g, Theme.text.b, 0.04)
    opacity: ignored ? 0.5 : 1
    Accessible.role: Accessible.ListItem
    Accessible.name: original + " → " + correction

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 10
        spacing: 6

        RowLayout {
            Layout.fillWidth: true
            spacing: 6

            Text {
                objectName: "fixOriginal"
                Layout.alignment: Qt.AlignBaseline
                Layout.maximumWidth: content.width / 3
                text: row.original
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: 13
                font.strikeout: true
                color: Qt.alpha(Theme.red, 0.8)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Symbol {
                name: "arrow.right"
                font.pixelSize: 10
                color: Theme.secondaryText
            }

            Text {
                objectName: "fixCorrection"
                Layout.alignment: Qt.AlignBaseline
                Layout.maximumWidth: content.width / 3
                text: row.correction
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Theme.accentText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Item {
                Layout.fillWidth: true
            }

            Rectangle {
                implicitWidth: badge.implicitWidth + 14
                implicitHeight: badge.implicitHeight + 4
                radius: height / 2
                color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.14)

                Text {
                    id: badge
                    objectName: "fixKind"
                    anchors.centerIn: parent
                    text: row.kind
                    textFormat: Text.PlainText
                    font.pixelSize: 10
                    font.weight: Font.DemiBold
                    color: Theme.accent
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Text {
            objectName: "fixExplanation"
            Layout.fillWidth: true
            visible: row.explanation.length > 0
            text: row.explanation
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: Theme.secondaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        LinkButton {
            objectName: "fixToggle"
            text: row.ignored ? "Rétablir" : "Ignorer"
            pixelSize: 11
            onClicked: row.toggled()
        }
    }
}
