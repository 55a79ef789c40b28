import QtQuick
import QtTest
import Ombry

// A capability the platform does not have is shown disabled with its reason, never
// on and silent, whatever the stored setting says.
Item {
    width: 800
    height: 900

    DictationTab {
        id: tab
        width: 760
    }

    TestCase {
        name: "DictationTab"
        when: windowShown

        function textShown(item, text) {
            if (item.text === text && item.visible)
                return true
            for (let i = 0; i < item.children.length; ++i)
                if (textShown(item.children[i], text))
                    return true
            return false
        }

        function test_livePreviewUnavailable() {
            compare(DictationController.livePreviewAvailable, false)
            AppSettings.livePreview = true
            const control = findChild(tab, "livePreviewSwitch")
            verify(control)
            verify(!control.enabled)
            verify(!control.checked)
            verify(textShown(tab, "Indisponible sur Linux"))
            mouseClick(control)
            control.toggle() // as the accessibility bus would
            verify(!control.checked)
            compare(AppSettings.livePreview, true)
        }
    }
}
