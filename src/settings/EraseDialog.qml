import QtQuick
import Ombry

// Asks before erasing everything.
ConfirmDialog {
    title: "Effacer toutes les données d'Ombry Voice ?"
    message: "Historique, dictionnaire, raccourcis vocaux, réunions, audios et clés seront supprimés de cet ordinateur."
    actionText: "Tout effacer"
}
