#include "StoreScript.h"
#include "model/Store.h"
#include "model/StoreModels.h"
#include "support/TestEnv.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

using namespace StoreScript;

namespace {

// The dictionary page's snippet rows in their simplest form: a field per row whose
// edits go back through the model.
const char kList[] = R"(
import QtQuick
import QtQuick.Controls
Window {
    width: 480; height: 480
    property var snippets
    property alias list: list
    ListView {
        id: list
        anchors.fill: parent
        model: snippets
        delegate: TextField {
            required property var model
            required property string trigger
            width: 400
            text: trigger
            onTextEdited: model.trigger = text
        }
    }
}
)";

} // namespace

class TestStoreModelsQml : public QObject
{
    Q_OBJECT

private:
    QQuickItem *row(QObject *list, int index)
    {
        QQuickItem *item = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item), Q_ARG(int, index));
        return item;
    }

private Q_SLOTS:
    // While the user types in a row's field, changes elsewhere in the collection leave
    // that field alone: same item, focus, text and cursor, and typing goes on.
    void typingSurvivesOtherChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("rowAfter");
        QTest::newRow("nothing else") << "" << 1;
        QTest::newRow("a row added at the end") << "add C" << 1;
        QTest::newRow("the row above removed") << "remove A" << 0;
        QTest::newRow("the row below removed") << "remove C" << 1;
        QTest::newRow("the row above edited") << "edit A autre" << 1;
        QTest::newRow("its other field edited elsewhere") << "edit B autre texte" << 1;
    }
    void typingSurvivesOtherChanges()
    {
        QFETCH(QString, change);
        QFETCH(int, rowAfter);
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, Store::Collection::Snippets, QStringLiteral("set A,B,C"));
        SnippetsModel model(&store);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(QByteArray(kList), QUrl(QStringLiteral("qrc:/rows.qml")));
        std::unique_ptr<QObject> root(component.createWithInitialProperties(
            {{QStringLiteral("snippets"), QVariant::fromValue<QObject *>(&model)}}));
        QVERIFY2(root, qPrintable(component.errorString()));
        auto *window = qobject_cast<QQuickWindow *>(root.get());
        QVERIFY(window);
        window->show();
        window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QObject *list = root->property("list").value<QObject *>();
        QVERIFY(TestEnv::waitFor([&] { return row(list, 1) != nullptr; }));

        QPointer<QQuickItem> field = row(list, 1);
        field->forceActiveFocus();
        QVERIFY(field->hasActiveFocus());
        field->setProperty("cursorPosition", field->property("text").toString().size());
        for (char c : {'x', 'y'})
            QTest::keyClick(window, c);
        QCOMPARE(store.snippets().at(1).trigger, QStringLiteral("dis Bxy"));

        run(store, Store::Collection::Snippets, change);
        QTest::qWait(50);
        QVERIFY(field);
        QCOMPARE(row(list, rowAfter), field.data());
        QVERIFY(field->hasActiveFocus());
        QCOMPARE(field->property("text").toString(), QStringLiteral("dis Bxy"));
        QCOMPARE(field->property("cursorPosition").toInt(), 7);

        QTest::keyClick(window, 'z');
        QCOMPARE(field->property("text").toString(), QStringLiteral("dis Bxyz"));
        const qsizetype at = rowOf(store.snippets(), u'B');
        QCOMPARE(at, qsizetype(rowAfter));
        QCOMPARE(store.snippets().at(at).trigger, QStringLiteral("dis Bxyz"));
    }

    // A change of the trigger made elsewhere still reaches the field.
    void triggerChangedElsewhereIsShown()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        run(store, Store::Collection::Snippets, QStringLiteral("set A,B"));
        SnippetsModel model(&store);
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(QByteArray(kList), QUrl(QStringLiteral("qrc:/rows.qml")));
        std::unique_ptr<QObject> root(component.createWithInitialProperties(
            {{QStringLiteral("snippets"), QVariant::fromValue<QObject *>(&model)}}));
        QVERIFY2(root, qPrintable(component.errorString()));
        auto *window = qobject_cast<QQuickWindow *>(root.get());
        window->show();
        QObject *list = root->property("list").value<QObject *>();
        QVERIFY(TestEnv::waitFor([&] { return row(list, 1) != nullptr; }));
        Snippet b = store.snippets().at(1);
        b.trigger = QStringLiteral("mon adresse");
        QVERIFY(store.updateSnippet(b));
        QCOMPARE(row(list, 1)->property("text").toString(), QStringLiteral("mon adresse"));
    }
};

OMBRY_TEST_MAIN_IMPL(TestStoreModelsQml, QGuiApplication)
#include "tst_storemodels_qml.moc"
