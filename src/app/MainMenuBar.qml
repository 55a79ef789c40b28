import QtQuick
import QtQuick.Controls
import Ombry

// The window's menu bar: the application, editing and window commands with
// their Ctrl shortcuts. Editing acts on the field that has the focus.
MenuBar {
    id: bar
    Accessible.name: "Menu principal"

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
            shortcut: "Ctrl+,"
            onTriggered: Shell.openSettings()
        }
        MenuSeparator {}
        Action {
            text: "Masquer Ombry Voice"
            shortcut: "Ctrl+H"
            onTriggered: bar.Window.window.hide()
        }
        MenuSeparator {}
        Action {
            text: "Quitter Ombry Voice"
            shortcut: "Ctrl+Q"
            onTriggered: Shell.quit()
        }
    }
    Menu {
        title: "Édition"
        Action {
            text: "Annuler"
            shortcut: "Ctrl+Z"
            onTriggered: bar.edit("undo")
        }
        Action {
            text: "Rétablir"
            shortcut: "Ctrl+Shift+Z"
            onTriggered: bar.edit("redo")
        }
        MenuSeparator {}
        Action {
            text: "Couper"
            shortcut: "Ctrl+X"
            onTriggered: bar.edit("cut")
        }
        Action {
            text: "Copier"
            shortcut: "Ctrl+C"
            onTriggered: bar.edit("copy")
        }
        Action {
            text: "Coller"
            shortcut: "Ctrl+V"
            onTriggered: bar.edit("paste")
        }
        Action {
            text: "Tout sélectionner"
            shortcut: "Ctrl+A"
            onTriggered: bar.edit("selectAll")
        }
    }
    Menu {
        title: "Fenêtre"
        Action {
            text: "Réduire"
            shortcut: "Ctrl+M"
            onTriggered: bar.Window.window.showMinimized()
        }
        Action {
            text: "Fermer"
            shortcut: "Ctrl+W"
            onTriggered: bar.Window.window.close()
        }
    }
}
