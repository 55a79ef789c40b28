import QtQuick
import Ombry

// An application's icon, or its initial on an accent square when none is found.
Item {
    id: badge
    property string name
    // A desktop id, an icon name or an absolute path.
    property string bundleId
    property real size: 20
    readonly property bool hasIcon: Kit.hasAppIcon(bundleId)

    width: size
    height: size
    Accessible.role: Accessible.Graphic
    Accessible.name: name
    Accessible.ignored: name.length === 0

    Image {
        objectName: "icon"
        anchors.fill: parent
        visible: badge.hasIcon
        source: badge.hasIcon ? Kit.appIconSource(badge.bundleId) : ""
        sourceSize.width: 64
        sourceSize.height: 64
        smooth: true
        mipmap: true
    }
    Rectangle {
        objectName: "letterBadge"
        anchors.fill: parent
        visible: !badge.hasIcon
        radius: 0.28 * badge.size
        color: Theme.accent

        Text {
            objectName: "letter"
            anchors.centerIn: parent
            text: badge.name.length > 0 ? badge.name.charAt(0).toUpperCase() : ""
            textFormat: Text.PlainText
            font.pixelSize: 0.5 * badge.size
            font.bold: true
            color: "white"
        }
    }
}
