import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Shapes
import Ombry

// The busy indicator of the pages: the style's own dots vanish at 16 px, so an
// accent arc turns on a faint ring.
BusyIndicator {
    id: spinner
    implicitWidth: 16
    implicitHeight: 16
    padding: 0

    contentItem: Item {
        implicitWidth: 16
        implicitHeight: 16

        Rectangle {
            anchors.fill: parent
            radius: width / 2
            color: "transparent"
            border.width: 2
            border.color: Qt.alpha(Theme.secondaryText, 0.25)
        }
        Shape {
            anchors.fill: parent
            antialiasing: true

            ShapePath {
                strokeColor: Theme.accent
                strokeWidth: 2
                fillColor: "transparent"
                capStyle: ShapePath.RoundCap
                PathAngleArc {
                    centerX: 8
                    centerY: 8
                    radiusX: 7
                    radiusY: 7
                    startAngle: -90
                    sweepAngle: 110
                }
            }
            RotationAnimator on rotation {
                from: 0
                to: 360
                duration: 900
                loops: Animation.Infinite
                running: spinner.running && spinner.visible
            }
        }
    }
}
