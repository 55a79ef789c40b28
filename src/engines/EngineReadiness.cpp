#include "engines/EngineReadiness.h"

#include "engines/CloudFirst.h"
#include "model/KeyStore.h"

#include <QPointer>


EngineReadiness::EngineReadiness(OmbryAI::Access access, QObject *parent) : QObject(parent), access_(std::move(access))
{
    if (!access_.keys)
        return;
    connect(access_.keys, &KeyStore::keysChanged, this, &EngineReadiness::refresh);
    refresh();
}

QString EngineReadiness::missingText()
{
    return QStringLiteral("Clé OpenRouter manquante");
}

void EngineReadiness::refresh()
{
    if (!access_.keys)
        return;
    update();
    if (CloudFirst::cloudPossible(access_))
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
    const bool missing = !CloudFirst::dictationPossible(access_);
    if (missing == keyMissing_)
        return;
    keyMissing_ = missing;
    Q_EMIT changed();
}
