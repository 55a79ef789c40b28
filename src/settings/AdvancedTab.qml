import QtQuick
import QtQuick.Layouts
import Ombry

// The last settings tab: performance, typing speed, help and the version.
ColumnLayout {
    id: tab
    spacing: 16

    HelpModel {
        id: about
        settings: AppSettings
        store: Store
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "Performances"
        footer: Kit.lightVisuals ? "Mode léger : toutes les fonctions sont là, avec moins d'effets de verre et d'animations."
                                 : "Mode complet : effets de verre et animations au maximum."

        SettingRow {
            label: "Ton ordinateur"
            icon: "laptopcomputer"
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: about.deviceSummary
                color: Theme.secondaryText
                font.pixelSize: 12
                textFormat: Text.PlainText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
        SettingsDivider {}
        SettingRow {
            label: "Effets visuels"
            icon: "sparkles"
            SegmentedPicker {
                width: 240
                label: "Effets visuels"
                labels: ["Automatique", "Léger", "Complet"]
                current: AppSettings.performanceMode
                onChosen: index => AppSettings.performanceMode = index
            }
        }
    }

    SettingsGroup {
        Layout.fillWidth: true
        title: "Statistiques"

        SettingRow {
            label: "Ma vitesse au clavier"
            detail: "Sert à calculer le temps gagné"
            icon: "speedometer"
            SettingsField {
                anchors.verticalCenter: parent.verticalCenter
                width: 60
                horizontalAlignment: TextInput.AlignRight
                label: "Ma vitesse au clavier"
                text: about.typingWPMText
                validator: IntValidator { bottom: 1; top: 100000 }
                onEditingFinished: about.typingWPMText = text
            }
            GlassButton {
                anchors.verticalCenter: parent.verticalCenter
                text: "−"
                Accessible.name: "Moins vite"
                enabled: about.typingWPM > 5
                onClicked: about.typingWPM = Math.max(5, about.typingWPM - 1)
            }
            GlassButton {
                anchors.verticalCenter: parent.verticalCenter
                text: "+"
                Accessible.name: "Plus vite"
                enabled: about.typingWPM < 200
                onClicked: about.typingWPM = Math.min(200, about.typingWPM + 1)
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "mots/min"
                color: Theme.secondaryText
                font.pixelSize: 12
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }

    HelpCard { Layout.fillWidth: true }

    Row {
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: 6
        spacing: 8
        Image {
            anchors.verticalCenter: parent.verticalCenter
            width: 22
            height: 22
            source: Shell.icon
            sourceSize.width: 44
            sourceSize.height: 44
            smooth: true
            mipmap: true
            Accessible.ignored: true
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "Ombry Voice " + about.version
            color: Theme.secondaryText
            font.pixelSize: 12
            textFormat: Text.PlainText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
