#include "app/Application.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QQmlEngine>
#include <QtQuickTest>

// Runs every tst_*.qml beside this file against the Ombry module.
class QmlSetup : public QObject
{
    Q_OBJECT

public:
    QmlSetup()
    {
        TestEnv::isolate();
        // A user with a key: the status card reads "Prêt".
        qputenv("OPENROUTER_API_KEY", "sk-or-test");
    }

public Q_SLOTS:
    void applicationAvailable() { root_ = std::make_unique<Application>(); }
    void qmlEngineAvailable(QQmlEngine *engine) { Application::registerQml(engine); }
    void cleanupTestCase() { root_.reset(); }

private:
    std::unique_ptr<Application> root_;
};

int main(int argc, char **argv)
{
    QmlSetup setup;
    // The program's tray menu is a widget.
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    return quick_test_main_with_setup(argc, argv, "ombry_qml", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "tst_qml.moc"
