import QtQuick
import QtQuick.Controls
import Ombry

// The window's menu bar: the application, editing and window commands.
// Editing acts on the field that had the focus before the menu opened, which also
// takes the editing keys itself; the other Ctrl shortcuts live in WindowContent (a
// closed menu's actions do not receive keys).
Rectangle {
    id: bar
    implicitHeight: 30
    color: Theme.windowBackground
    Accessible.role: Accessible.MenuBar
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
        const field = editMenu.focusBefore
        if (!field || typeof field[command] !== "function")
            return
        // The field takes the focus back before the menu closes, so the menu does not
        // hand it elsewhere, and a selection shows.
        field.forceActiveFocus()
        field[command]()
    }

    MenuButton {
        id: appMenu
        x: 4
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
    MenuButton {
        id: editMenu
        x: appMenu.x + appMenu.width
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
    MenuButton {
        id: windowMenu
        x: editMenu.x + editMenu.width
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
