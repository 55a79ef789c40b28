#include "engines/EngineReadiness.h"

#include "app/Application.h"
#include "engines/CloudFirst.h"
#include "model/KeyStore.h"

#include <QCoreApplication>
#include <QPointer>
#include <QQmlEngine>

EngineReadiness *EngineReadiness::shared()
{
    static QPointer<EngineReadiness> instance;
    if (!instance)
        instance = new EngineReadiness(QCoreApplication::instance());
    return instance;
}

EngineReadiness *EngineReadiness::create(QQmlEngine *, QJSEngine *)
{
    QQmlEngine::setObjectOwnership(shared(), QQmlEngine::CppOwnership);
    return shared();
}

EngineReadiness::EngineReadiness(QObject *parent) : QObject(parent)
{
    // Only the program's own keys say anything; a part tested alone reads ready.
    if (!Application::current())
        return;
    connect(KeyStore::shared(), &KeyStore::keysChanged, this, &EngineReadiness::refresh);
    refresh();
}

QString EngineReadiness::missingText()
{
    return QStringLiteral("Clé OpenRouter manquante");
}

void EngineReadiness::refresh()
{
    if (!Application::current())
        return;
    update();
    if (CloudFirst::cloudPossible())
        return;
    // Only a local server can serve: ask it, off the caller's path.
    QPointer<EngineReadiness> self(this);
    auto probe = [](QPointer<EngineReadiness> that) -> QCoro::Task<void> {
        QCoro::Task<bool> asked = CloudFirst::localAnswers(CloudFirst::Local::Speech);
        co_await std::move(asked);
        if (that)
            that->update();
    };
    probe(self).then([] {}, [](const std::exception &) {});
}

void EngineReadiness::update()
{
    const bool missing = !CloudFirst::dictationPossible();
    if (missing == keyMissing_)
        return;
    keyMissing_ = missing;
    Q_EMIT changed();
}
