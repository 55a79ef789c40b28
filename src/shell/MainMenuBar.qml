import QtQuick
import QtQuick.Controls
import Ombry

// The window's menu bar, as Linux applications have it: file, editing, window
// and help menus, each command with its shortcut.
// Editing acts on the field that had the focus before the menu opened, which also
// takes the editing keys itself; the other Ctrl shortcuts live in WindowContent (a
// closed menu's actions do not receive keys).
Rectangle {
    id: bar
    implicitHeight: 30
    color: Theme.windowBackground
    Accessible.role: Accessible.MenuBar
    Accessible.name: "Menu principal"

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
        id: fileMenu
        x: 4
        title: "Fichier"
        MenuCommand {
            text: "Réglages…"
            keys: "Ctrl+,"
            onTriggered: Shell.openSettings()
        }
        MenuSeparator {}
        MenuCommand {
            text: "Quitter"
            keys: "Ctrl+Q"
            onTriggered: Shell.quit()
        }
    }
    MenuButton {
        id: editMenu
        x: fileMenu.x + fileMenu.width
        title: "Édition"
        MenuCommand {
            text: "Annuler"
            keys: "Ctrl+Z"
            onTriggered: bar.edit("undo")
        }
        MenuCommand {
            text: "Rétablir"
            keys: "Ctrl+Maj+Z"
            onTriggered: bar.edit("redo")
        }
        MenuSeparator {}
        MenuCommand {
            text: "Couper"
            keys: "Ctrl+X"
            onTriggered: bar.edit("cut")
        }
        MenuCommand {
            text: "Copier"
            keys: "Ctrl+C"
            onTriggered: bar.edit("copy")
        }
        MenuCommand {
            text: "Coller"
            keys: "Ctrl+V"
            onTriggered: bar.edit("paste")
        }
        MenuCommand {
            text: "Tout sélectionner"
            keys: "Ctrl+A"
            onTriggered: bar.edit("selectAll")
        }
    }
    MenuButton {
        id: windowMenu
        x: editMenu.x + editMenu.width
        title: "Fenêtre"
        MenuCommand {
            text: "Réduire"
            keys: "Ctrl+M"
            onTriggered: bar.minimiseWindow()
        }
        MenuCommand {
            text: "Fermer"
            keys: "Ctrl+W"
            onTriggered: bar.closeWindow()
        }
    }
    MenuButton {
        id: helpMenu
        x: windowMenu.x + windowMenu.width
        title: "Aide"
        MenuCommand {
            text: "À propos d'Ombry Voice"
            onTriggered: Shell.showAbout()
        }
    }
}
