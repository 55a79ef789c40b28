import QtQuick
import QtQuick.Controls
import Ombry

// The window's menu bar: the application, editing and window commands.
// Editing acts on the field that has the focus, which also takes the editing
// keys itself; the other Ctrl shortcuts live in WindowContent (a closed menu's
// actions do not receive keys).
MenuBar {
    id: bar
    Accessible.name: "Menu principal"

    function hideWindow() {
        bar.Window.window.hide()
    }
    function minimiseWindow() {
        bar.Window.window.showMinimized()
    }
    function closeWindow() {
        bar.Window.window.close()
    }

    function edit(command: string) {
        const field = bar.Window.activeFocusItem
        if (field && typeof field[command] === "function")
            field[command]()
    }

    Menu {
        title: "Ombry Voice"
        Action {
            text: "À propos de Ombry Voice"
            onTriggered: Shell.showAbout()
        }
        MenuSeparator {}
        Action {
            text: "Réglages…"
            onTriggered: Shell.openSettings()
        }
        MenuSeparator {}
        Action {
            text: "Masquer Ombry Voice"
            onTriggered: bar.hideWindow()
        }
        MenuSeparator {}
        Action {
            text: "Quitter Ombry Voice"
            onTriggered: Shell.quit()
        }
    }
    Menu {
        title: "Édition"
        Action {
            text: "Annuler"
            onTriggered: bar.edit("undo")
        }
        Action {
            text: "Rétablir"
            onTriggered: bar.edit("redo")
        }
        MenuSeparator {}
        Action {
            text: "Couper"
            onTriggered: bar.edit("cut")
        }
        Action {
            text: "Copier"
            onTriggered: bar.edit("copy")
        }
        Action {
            text: "Coller"
            onTriggered: bar.edit("paste")
        }
        Action {
            text: "Tout sélectionner"
            onTriggered: bar.edit("selectAll")
        }
    }
    Menu {
        title: "Fenêtre"
        Action {
            text: "Réduire"
            onTriggered: bar.minimiseWindow()
        }
        Action {
            text: "Fermer"
            onTriggered: bar.closeWindow()
        }
    }
}
