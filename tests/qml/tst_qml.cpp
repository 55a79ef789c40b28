#include "app/Application.h"
#include "support/TestEnv.h"

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

QUICK_TEST_MAIN_WITH_SETUP(ombry_qml, QmlSetup)

#include "tst_qml.moc"
