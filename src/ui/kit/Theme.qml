pragma Singleton
import QtQuick
import Ombry

// Colours of the design kit; dark follows the settings object live.
QtObject {
    readonly property bool dark: RenderMode.themeForced ? RenderMode.dark : AppSettings.theme === Ombry.Theme.Dark
    readonly property color accent: "#00B8A9"
    readonly property color accentDeep: "#00968A"
    readonly property color accentLight: Qt.rgba(0, 0.7216, 0.6627, 0.12)
    readonly property color cardBackground: dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(1, 1, 1, 0.85)
    readonly property color windowBackground: dark ? "#1C1C1E" : "#F5F5F7"
    readonly property color text: dark ? "#F2F2F7" : "#1C1C1E"
    readonly property color secondaryText: dark ? Qt.rgba(0.92, 0.92, 0.96, 0.6) : Qt.rgba(0.24, 0.24, 0.26, 0.6)
}
