import QtQuick
import QtQuick.Layouts
import Ombry

// The settings: a header, the tab bar and the selected tab, built afresh at
// every change of tab. The tab is kept under "settingsTab".
Item {
    id: page

    readonly property var known: ["general", "dictation", "correction", "account", "permissions", "advanced"]
    readonly property string tab: known.indexOf(InterfaceKeys.settingsTab) >= 0 ? InterfaceKeys.settingsTab : "general"

    implicitHeight: layout.implicitHeight

    ColumnLayout {
        id: layout
        width: parent.width
        spacing: 20

        PageHeader {
            Layout.fillWidth: true
            title: "Réglages"
        }

        SettingsTabBar {
            objectName: "settingsTabs"
            tab: page.tab
            availableWidth: layout.width
            onChosen: tab => InterfaceKeys.settingsTab = tab
        }

        Loader {
            id: content
            objectName: "settingsContent"
            Layout.fillWidth: true
            // A new view at each change of tab: what was open inside goes with it.
            sourceComponent: {
                switch (page.tab) {
                case "dictation": return dictationTab
                case "correction": return correctionTab
                case "account": return accountTab
                case "permissions": return permissionsTab
                case "advanced": return advancedTab
                default: return generalTab
                }
            }
        }
    }

    Component { id: generalTab; GeneralTab {} }
    Component { id: dictationTab; DictationTab {} }
    Component { id: correctionTab; CorrectionTab {} }
    Component { id: accountTab; ApiKeysGroup {} }
    Component { id: permissionsTab; PermissionsCard {} }
    Component { id: advancedTab; AdvancedTab {} }
}
