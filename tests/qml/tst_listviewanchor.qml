import QtQuick
import QtQuick.Layouts
import QtTest
import Ombry

// Rows of uneven heights under day sections, as in the history: rows inserted above
// what is on screen must not move it; a list at its top shows the new row.
Item {
    id: root
    width: 400
    height: 300

    ListModel {
        id: rows
    }

    ListView {
        id: list
        anchors.fill: parent
        clip: true
        model: rows
        spacing: 10
        header: Rectangle {
            width: ListView.view ? ListView.view.width : 0
            height: 90
            color: "grey"
        }
        section.property: "day"
        section.delegate: Text {
            required property string section
            height: 24
            text: section
        }
        // A card's height comes from its layout, which settles in a later polish than
        // the one that made the card, as the history's cards do.
        delegate: Rectangle {
            id: card
            required property string label
            required property int tall
            objectName: label
            width: ListView.view ? ListView.view.width : 0
            height: column.implicitHeight
            color: "white"
            border.width: 1
            ColumnLayout {
                id: column
                width: parent.width
                spacing: 0
                Item {
                    Layout.fillWidth: true
                    Layout.preferredHeight: card.tall
                }
            }
        }
    }

    ListViewAnchor {
        id: anchor
        view: list
    }

    TestCase {
        name: "ListViewAnchor"
        when: windowShown

        function fill() {
            rows.clear()
            for (let i = 0; i < 40; ++i)
                rows.append({ label: "row " + i, day: i < 3 ? "Aujourd'hui" : (i < 10 ? "Hier" : "Avant"),
                              tall: 40 + (i * 37) % 90 })
            list.positionViewAtBeginning()
            waitForItemPolished(list)
        }

        // The first row whose card shows at the top of the view.
        function topIndex() {
            for (let y = list.contentY; y < list.contentY + list.height; y += 2) {
                const i = list.indexAt(list.width / 2, y)
                if (i >= 0)
                    return i
            }
            return -1
        }

        function topRow() {
            const i = topIndex()
            return i >= 0 ? list.itemAtIndex(i) : null
        }

        function settle() {
            waitForItemPolished(list)
            waitForItemPolished(anchor)
            wait(0)
        }

        function test_insert_data() {
            return [
                { tag: "scrolled, one row above", scrollTo: 6, nudge: 17, at: 0, count: 1, still: true },
                { tag: "scrolled, two rows above", scrollTo: 6, nudge: 0, at: 0, count: 2, still: true },
                { tag: "scrolled, a new day", scrollTo: 12, nudge: 5, at: 0, count: 1, day: "Demain", still: true },
                { tag: "scrolled far, many rows", scrollTo: 30, nudge: 3, at: 0, count: 8, still: true },
                { tag: "header scrolled away", scrollTo: 0, nudge: 0, at: 0, count: 1, still: true },
                { tag: "header partly scrolled away", scrollTo: 0, nudge: -50, at: 0, count: 1, still: true },
                { tag: "row just above the top", scrollTo: 6, nudge: 9, at: 6, count: 1, still: true },
                { tag: "at the top", scrollTo: -1, nudge: 0, at: 0, count: 1, still: false },
            ]
        }

        function test_insert(data) {
            fill()
            if (data.scrollTo >= 0) {
                list.positionViewAtIndex(data.scrollTo, ListView.Beginning)
                list.contentY += data.nudge
                settle()
            }
            verify(list.atYBeginning === (data.scrollTo < 0))
            const topIndexBefore = topIndex()
            const top = topRow()
            verify(top)
            const label = top.label
            const y = top.mapToItem(root, 0, 0).y
            const headerY = list.headerItem.mapToItem(root, 0, 0).y

            const inserted = []
            for (let k = 0; k < data.count; ++k)
                inserted.push({ label: "new " + k, day: data.day || "Aujourd'hui", tall: 70 })
            rows.insert(data.at, inserted)
            settle()

            if (data.still) {
                // The row that was on top is still there, at the same place; a new row
                // may show above it where its section title was.
                const i = data.at <= topIndexBefore ? topIndexBefore + data.count : topIndexBefore
                const now = list.itemAtIndex(i)
                verify(now)
                compare(now.label, label)
                compare(now.mapToItem(root, 0, 0).y, y)
            } else {
                // The header stays where it was and the new row comes right under it.
                compare(list.headerItem.mapToItem(root, 0, 0).y, headerY)
                const first = list.itemAtIndex(0)
                verify(first)
                compare(first.label, "new 0")
                verify(first.mapToItem(root, 0, 0).y < root.height)
            }
        }

        // A row added below the top one moves what follows it, as any insertion does,
        // but not the top row.
        function test_insertBelowTop() {
            fill()
            list.positionViewAtIndex(5, ListView.Beginning)
            settle()
            const top = topRow()
            const y = top.mapToItem(root, 0, 0).y
            rows.insert(topIndex() + 1, { label: "new", day: "Hier", tall: 50 })
            settle()
            compare(topRow().label, top.label)
            compare(topRow().mapToItem(root, 0, 0).y, y)
        }
    }
}
