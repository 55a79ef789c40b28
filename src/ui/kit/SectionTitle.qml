import QtQuick
import Ombry

Text {
    font.pixelSize: 15
    font.weight: Font.DemiBold
    color: Theme.text
    Accessible.role: Accessible.Heading
    Accessible.name: text
}
