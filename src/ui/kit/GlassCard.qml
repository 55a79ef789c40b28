import QtQuick
import Ombry

// The card background: the card colour over glass, with a light rim. Plain
// (almost opaque, no glass) for snapshots and light visuals.
GlassSurface {
    radius: 22
    dark: Theme.dark
    style: Theme.plain ? GlassSurface.Identity : GlassSurface.Regular
    fill: Qt.alpha(Theme.cardBackground, Theme.plain ? 0.85 : 0.35)
    rimWidth: 0.8
    rimDiagonal: true
    rimStart: Qt.rgba(1, 1, 1, 0.55)
    rimEnd: Qt.rgba(1, 1, 1, 0.05)
}
