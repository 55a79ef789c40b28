pragma ComponentBehavior: Bound
import QtQuick
import Ombry

// The recording overlay's view: a capsule at the bottom centre of its 640 × 90
// panel telling what dictation does. Draws nothing while the controller is idle
// without a flash.
Item {
    id: root
    required property DictationController controller

    readonly property int state: controller.state
    readonly property bool shown: state !== DictationController.Idle || controller.flash.length > 0
    readonly property string phase: {
        switch (state) {
        case DictationController.Recording:
            return controller.liveText.length === 0 ? "rec" : "rec-text"
        case DictationController.Processing:
            return "proc"
        case DictationController.Correcting:
            return "corr"
        }
        return controller.flash
    }
    readonly property string working: {
        if (state === DictationController.Correcting)
            return controller.translating ? "Traduction" : "Correction"
        return controller.commandText.length > 0 ? "J'applique" : "Mise au propre"
    }
    // Whole seconds since the start as "m:ss".
    function elapsedText(nowMs: real): string {
        const seconds = Math.max(0, Math.floor((nowMs - controller.startedAt.getTime()) / 1000))
        const rest = seconds % 60
        return Math.floor(seconds / 60) + ":" + (rest < 10 ? "0" : "") + rest
    }
    // The capsule as drawn now (window coordinates), for the panel's outline.
    readonly property rect outline: capsule.opacity > 0
        ? Qt.rect(capsule.x + capsule.width * (1 - capsule.scale) / 2,
                  capsule.y + capsule.height * (1 - capsule.scale),
                  capsule.width * capsule.scale, capsule.height * capsule.scale)
        : Qt.rect(0, 0, 0, 0)

    width: 640
    height: 90

    // Animation time in seconds; advances only while the capsule is shown.
    property real t: 0
    Timer {
        running: root.shown && root.visible
        repeat: true
        interval: Kit.frameInterval
        onTriggered: root.t = Date.now() / 1000
    }

    GlassSurface {
        id: capsule
        objectName: "capsule"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        height: row.implicitHeight + 20
        width: row.implicitWidth + 32
        radius: -1
        dark: true
        style: Kit.plain ? GlassSurface.Identity : GlassSurface.Regular
        tint: Kit.plain ? "transparent" : Qt.rgba(0, 0, 0, 0.35)
        fill: Qt.rgba(0, 0, 0, 0.78)
        rimWidth: 0.8
        rimStart: Qt.rgba(1, 1, 1, 0.25)
        rimEnd: Qt.rgba(1, 1, 1, 0.04)
        transformOrigin: Item.Bottom
        opacity: 0
        scale: 0.6
        visible: opacity > 0
        Accessible.role: Accessible.Pane
        Accessible.name: "Dictée"

        // Without a compositor nothing shows through: an opaque base.
        Rectangle {
            anchors.fill: parent
            z: -1
            radius: height / 2
            visible: !Kit.composited
            color: "#0A0A0A"
        }

        states: State {
            name: "in"
            when: root.shown
            PropertyChanges { capsule.opacity: 1; capsule.scale: 1 }
        }
        transitions: [
            Transition {
                to: "in"
                NumberAnimation { properties: "scale"; duration: 350; easing.type: Easing.OutBack; easing.overshoot: 1.1 }
                NumberAnimation { properties: "opacity"; duration: 200 }
            },
            Transition {
                from: "in"
                NumberAnimation { properties: "scale,opacity"; duration: 250; easing.type: Easing.InCubic }
            }
        ]

        // A small spring each time the phase changes while shown.
        SequentialAnimation {
            id: bounce
            NumberAnimation { target: row; property: "scale"; to: 0.94; duration: 60 }
            NumberAnimation { target: row; property: "scale"; to: 1; duration: 290; easing.type: Easing.OutBack }
        }

        Row {
            id: row
            anchors.centerIn: parent
            spacing: root.state === DictationController.Recording ? 12
                   : root.state === DictationController.Idle ? 8 : 10

            AppBadge {
                id: appIcon
                anchors.verticalCenter: parent.verticalCenter
                visible: root.state !== DictationController.Idle && hasIcon
                name: root.controller.targetAppName
                bundleId: root.controller.targetAppIcon
                size: 20
            }

            // Recording: waveform, live text or hint, elapsed time, red dot.
            Row {
                id: waveform
                objectName: "waveform"
                visible: root.state === DictationController.Recording
                anchors.verticalCenter: parent.verticalCenter
                height: 22
                spacing: 3
                readonly property var weights: [0.35, 0.6, 0.85, 1.0, 0.85, 0.6, 0.35]
                Repeater {
                    model: waveform.weights.length
                    Rectangle {
                        id: bar
                        required property int index
                        anchors.verticalCenter: parent.verticalCenter
                        width: 3.5
                        radius: 1.75
                        height: (0.75 + 0.25 * Math.sin(9 * root.t + 0.9 * bar.index))
                                * (Math.max(root.controller.level, 0.12) * 18 * waveform.weights[bar.index]) + 4
                        gradient: Gradient {
                            GradientStop { position: 0; color: Qt.rgba(0.4, 0.95, 0.88, 1) }
                            GradientStop { position: 1; color: Theme.accent }
                        }
                    }
                }
            }
            Text {
                objectName: "liveText"
                // Fades in with the first words and out when they go.
                opacity: root.state === DictationController.Recording && root.controller.liveText.length > 0 ? 1 : 0
                visible: opacity > 0
                Behavior on opacity { NumberAnimation { duration: 200 } }
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, 360)
                text: root.controller.liveText
                textFormat: Text.PlainText
                elide: Text.ElideLeft
                horizontalAlignment: Text.AlignRight
                maximumLineCount: 1
                font.pixelSize: 13
                font.weight: Font.Medium
                color: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                objectName: "hint"
                visible: root.state === DictationController.Recording && root.controller.liveText.length === 0
                         && root.controller.commandText.length > 0
                anchors.verticalCenter: parent.verticalCenter
                text: "Dis ce que je dois faire"
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                id: elapsed
                objectName: "elapsed"
                visible: root.state === DictationController.Recording
                anchors.verticalCenter: parent.verticalCenter
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: Qt.rgba(1, 1, 1, 0.6)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Timer {
                    running: elapsed.visible && root.shown
                    repeat: true
                    triggeredOnStart: true
                    interval: 1000
                    onTriggered: elapsed.text = root.elapsedText(Date.now())
                }
            }
            Item {
                visible: root.state === DictationController.Recording
                anchors.verticalCenter: parent.verticalCenter
                width: 7
                height: 7
                // The glow: a wider, faint red disc behind the dot.
                Rectangle {
                    anchors.centerIn: parent
                    width: 13
                    height: 13
                    radius: 6.5
                    color: Qt.rgba(1, 0.23, 0.19, 0.35)
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 3.5
                    color: Theme.redMark
                }
            }

            // Working: three dots in a travelling wave, then what is done.
            Row {
                objectName: "shimmerDots"
                visible: root.state === DictationController.Processing || root.state === DictationController.Correcting
                anchors.verticalCenter: parent.verticalCenter
                height: 12
                spacing: 4
                Repeater {
                    model: 3
                    Rectangle {
                        id: dot
                        required property int index
                        readonly property real p: 0.5 + 0.5 * Math.sin(6 * root.t - 0.8 * dot.index)
                        y: 3 - 3 * dot.p
                        width: 6
                        height: 6
                        radius: 3
                        color: Theme.accent
                        opacity: 0.35 + 0.65 * dot.p
                    }
                }
            }
            Text {
                objectName: "working"
                visible: root.state === DictationController.Processing || root.state === DictationController.Correcting
                anchors.verticalCenter: parent.verticalCenter
                text: root.working
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            // Idle with a flash: a check or an exclamation, then the message.
            Symbol {
                objectName: "flashSymbol"
                visible: root.state === DictationController.Idle
                anchors.verticalCenter: parent.verticalCenter
                name: root.controller.flashIsError ? "exclamationmark.circle.fill" : "checkmark.circle.fill"
                label: root.controller.flashIsError ? "Erreur" : "Terminé"
                font.pixelSize: 15
                font.weight: Font.DemiBold
                color: root.controller.flashIsError ? Theme.orangeMark : Theme.accent
            }
            Text {
                objectName: "flash"
                visible: root.state === DictationController.Idle
                anchors.verticalCenter: parent.verticalCenter
                text: root.controller.flash
                textFormat: Text.PlainText
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }

    onPhaseChanged: {
        if (shown && capsule.opacity === 1)
            bounce.restart()
    }
}
