import QtQuick
import Ombry

// The translation page: the text tab or the live-call tab, as last chosen.
// Each tab draws its own header with the picker; switching drops the other.
Loader {
    id: frame

    sourceComponent: InterfaceKeys.translationTab === "calls" ? calls : text

    Component {
        id: text
        TextTranslatorTab {}
    }

    Component {
        id: calls
        CallsTab {}
    }
}
