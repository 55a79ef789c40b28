import QtQuick
import Ombry

Window {
    width: 320
    height: 120
    title: "Ombry Voice — essai"
    color: Theme.windowBackground

    Text {
        objectName: "status"
        anchors.centerIn: parent
        color: Theme.text
        font.pixelSize: 13
        text: DictationController.state === DictationController.Recording ? "J'écoute…" : "Prêt"
    }
}
