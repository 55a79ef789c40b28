import QtQuick
import Ombry

// A symbol by its name in the program's vocabulary ("globe", "xmark"…), drawn
// from the icon font. Decorative unless given a label.
Text {
    id: symbol
    property string name
    property string label
    property alias size: symbol.font.pixelSize

    text: Kit.glyph(name)
    font.family: Theme.symbolFont
    font.pixelSize: 15
    textFormat: Text.PlainText
    color: Theme.text
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.role: Accessible.Graphic
    Accessible.name: label
    Accessible.ignored: label.length === 0
}
