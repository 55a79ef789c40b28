import QtQuick

// A text of the pages, read by screen readers as it is shown; never rich text.
Text {
    textFormat: Text.PlainText
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
