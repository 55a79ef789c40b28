#include "settings/OnboardingKey.h"

#include "engines/CloudFirst.h"
#include "engines/OmbryAI.h"
#include "model/KeyStore.h"
#include "model/TextUtil.h"

#include <QPointer>

OnboardingKey::OnboardingKey(QObject *parent) : QObject(parent)
{
    askLocal();
}

void OnboardingKey::setKeyStore(KeyStore *keys)
{
    if (keys_)
        disconnect(keys_, nullptr, this, nullptr);
    keys_ = keys;
    if (keys_)
        connect(keys_, &KeyStore::keysChanged, this, &OnboardingKey::changed);
    Q_EMIT changed();
}

bool OnboardingKey::stored() const
{
    KeyStore *keys = keys_;
    return keys && keys->key(APIService::OpenRouter).has_value();
}

QString OnboardingKey::masked() const
{
    KeyStore *keys = keys_;
    return keys ? keys->masked(QStringLiteral("openRouter")) : QString();
}

void OnboardingKey::askLocal()
{
    auto probe = [](QPointer<OnboardingKey> self) -> QCoro::Task<void> {
        QCoro::Task<bool> asked = CloudFirst::localAnswers(CloudFirst::Local::Speech);
        const bool answers = co_await std::move(asked);
        if (self && answers != self->localAnswers_) {
            self->localAnswers_ = answers;
            Q_EMIT self->changed();
        }
    };
    probe(QPointer<OnboardingKey>(this)).then([] {}, [](const std::exception &) {});
}

void OnboardingKey::check(const QString &typed)
{
    KeyStore *keys = keys_;
    QString key = TextUtil::trimmed(typed);
    if (key.isEmpty() && keys)
        key = keys->key(APIService::OpenRouter).value_or(QString());
    const quint64 generation = ++generation_;
    if (key.isEmpty()) {
        checking_ = false;
        accepted_ = false;
        verdict_ = QStringLiteral("Colle d'abord ta clé OpenRouter");
        Q_EMIT changed();
        return;
    }
    checking_ = true;
    accepted_ = false;
    verdict_ = QStringLiteral("Vérification…");
    Q_EMIT changed();

    auto run = [](QPointer<OnboardingKey> self, quint64 round, QString typedKey) -> QCoro::Task<void> {
        QCoro::Task<OmbryAI::KeyCheck> asked = OmbryAI::checkKey(typedKey);
        const OmbryAI::KeyCheck result = co_await std::move(asked);
        // A newer check (or a closed sheet) overtook this one.
        if (!self || self->generation_ != round)
            co_return;
        // A key that could not be checked is kept all the same: the service may
        // simply be down for a moment.
        const bool keep = result.verdict == OmbryAI::KeyVerdict::Valid
                          || result.verdict == OmbryAI::KeyVerdict::Unreachable;
        QString verdict = result.text;
        if (keep) {
            if (KeyStore *store = self->keys_; store && !store->save(typedKey, APIService::OpenRouter))
                verdict += QStringLiteral(" · non enregistrée sur le disque");
        }
        self->checking_ = false;
        self->accepted_ = result.verdict == OmbryAI::KeyVerdict::Valid;
        self->verdict_ = verdict;
        Q_EMIT self->changed();
    };
    run(QPointer<OnboardingKey>(this), generation, key).then([] {}, [](const std::exception &) {});
}
