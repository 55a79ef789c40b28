import QtQuick
import QtQuick.Controls

// A command of the window's menu bar with the shortcut it is known by, shown
// beside its name. The shortcut itself lives in the window (WindowContent) or
// in the focused field: a second registration here would make it ambiguous.
Action {
    property string keys
}
