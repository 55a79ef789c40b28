import QtQuick
import QtQuick.Layouts
import Ombry

// The welcome banner, one entry per page and, at the foot, the status card.
GlassCard {
    id: sidebar

    radius: 26
    Accessible.role: Accessible.PageTabList
    Accessible.name: "Navigation"

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 14
        anchors.topMargin: 36
        spacing: 18

        WelcomeBanner {
            Layout.fillWidth: true
            keyLabel: AppSettings.keyLabel
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            Repeater {
                model: Navigation.entries

                SidebarEntry {
                    required property var modelData
                    Layout.fillWidth: true
                    page: modelData.page
                    label: modelData.label
                    symbol: modelData.symbol
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }

        StatusCard {
            Layout.fillWidth: true
            meetingRecording: MeetingRecorder.state === MeetingRecorder.Recording
        }
    }
}
