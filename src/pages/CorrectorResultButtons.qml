import QtQuick
import QtQuick.Layouts
import Ombry

// "Copier" and "Remplacer mon texte" for one result.
RowLayout {
    id: buttons

    property bool copied: false

    signal copyClicked()
    signal replaceClicked()

    spacing: 8

    GlassButton {
        text: buttons.copied ? "Copié" : "Copier"
        symbol: buttons.copied ? "checkmark" : "doc.on.doc"
        font.pixelSize: 12
        topPadding: 5
        bottomPadding: 5
        leftPadding: 10
        rightPadding: 10
        onClicked: buttons.copyClicked()
    }

    GlassButton {
        text: "Remplacer mon texte"
        symbol: "arrow.uturn.up"
        font.pixelSize: 12
        topPadding: 5
        bottomPadding: 5
        leftPadding: 10
        rightPadding: 10
        onClicked: buttons.replaceClicked()
    }
}
