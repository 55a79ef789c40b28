pragma Singleton
import QtQuick
import Ombry

// Colours and sizes of the design kit; dark follows the settings object live.
QtObject {
    readonly property bool dark: RenderMode.themeForced ? RenderMode.dark : AppSettings.theme === Ombry.Theme.Dark
    readonly property color accent: "#00B8A9"
    readonly property color accentDeep: "#00968A"
    readonly property color accentLight: Qt.rgba(0, 184 / 255, 169 / 255, 0.12)
    // The accent where it is read: text and symbols on cards and on the
    // selection fill; the bright accent is too pale on white, the deep one too
    // dark on the dark card.
    readonly property color accentText: dark ? "#3DD6C8" : "#00756B"
    // Behind white labels (prominent buttons, banners): the bright accent gives
    // white text only 2.5:1.
    readonly property color accentFill: "#00756B"
    readonly property color accentFillEnd: "#006A7A"
    // The selected sidebar entry and settings tab.
    readonly property color selectedFill: Qt.alpha(accent, 0.18)
    readonly property color cardBackground: dark ? Qt.rgba(0.17, 0.18, 0.18, 1) : "#FFFFFF"
    readonly property color windowBackground: dark ? "#1C1C1E" : "#F5F5F7"
    readonly property color text: dark ? "#F2F2F7" : "#1C1C1E"
    readonly property color secondaryText: dark ? Qt.rgba(0.92, 0.92, 0.96, 0.6) : Qt.rgba(0.24, 0.24, 0.26, 0.75)
    // Warning and error texts, readable on the card in each appearance.
    readonly property color orange: dark ? "#FFB340" : "#B25000"
    readonly property color red: dark ? "#FF6961" : "#D70015"
    // Behind white labels ("Arrêter").
    readonly property color redFill: "#D70015"
    // The bright system colours, for marks that carry no text (arcs, dots) and
    // for the overlay's dark capsule.
    readonly property color redMark: "#FF3B30"
    readonly property color orangeMark: "#FF9500"
    readonly property color separator: dark ? Qt.rgba(1, 1, 1, 0.1) : Qt.rgba(0, 0, 0, 0.1)

    // Glass drawn as a plain fill (snapshots, light visuals) and the frame
    // interval of animated indicators.
    readonly property bool plain: Kit.plain
    readonly property int frameInterval: Kit.frameInterval

    // Fonts: the system sans-serif; symbols from the icon font.
    readonly property string symbolFont: Kit.symbolFont

    // Whole numbers as shown to the user (fr_FR).
    function number(value: real): string {
        return Kit.formatNumber(value)
    }
}
