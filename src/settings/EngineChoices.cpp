#include "settings/EngineChoices.h"

#include "core/SetOnce.h"
#include "engines/LocalRewrite.h"
#include "engines/OmbryAI.h"
#include "engines/Services.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"

#include <QCoroTask>
#include <QVariantMap>

using namespace Qt::StringLiterals;

EngineChoices::EngineChoices(QObject *parent)
    : QObject(parent), ownKey_([this] { return OmbryAI::usesOwnKey({settings_, keys_, store_}); })
{
}

EngineChoices::EngineChoices(AppSettings *settings, std::function<bool()> usesOwnKey, QObject *parent)
    : QObject(parent), settings_(settings), ownKey_(std::move(usesOwnKey))
{
    started_ = true;
    followSettings();
}

AppSettings *EngineChoices::settings() const
{
    return settings_;
}

KeyStore *EngineChoices::keys() const
{
    return keys_;
}

Store *EngineChoices::store() const
{
    return store_;
}

void EngineChoices::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT changed();
}

void EngineChoices::setKeys(KeyStore *keys)
{
    if (setOnce(keys_, keys, started_))
        Q_EMIT changed();
}

void EngineChoices::setStore(Store *store)
{
    if (setOnce(store_, store, started_))
        Q_EMIT changed();
}

void EngineChoices::componentComplete()
{
    if (started_)
        return;
    started_ = true;
    followSettings();
    if (keys_)
        connect(keys_, &KeyStore::keysChanged, this, &EngineChoices::changed);
    askLocalModel();
}

void EngineChoices::followSettings()
{
    if (!settings_)
        return;
    for (auto signal : {&AppSettings::transcriptionEngineChanged, &AppSettings::rewriteEngineChanged,
                        &AppSettings::deepgramModelChanged, &AppSettings::openRouterModelChanged,
                        &AppSettings::ownKeyModeChanged})
        connect(settings_, signal, this, &EngineChoices::changed);
}

void EngineChoices::askLocalModel()
{
    QPointer<EngineChoices> self(this);
    auto probe = [](QPointer<EngineChoices> that) -> QCoro::Task<void> {
        auto task = LocalRewrite::isAvailable();
        const bool available = co_await std::move(task);
        if (that)
            that->setLocalModelAvailable(available);
    };
    probe(self).then([] {}, [](const std::exception &) {});
}

void EngineChoices::setLocalModelAvailable(bool available)
{
    if (available == localAvailable_)
        return;
    localAvailable_ = available;
    Q_EMIT changed();
}

QString EngineChoices::money(double amount)
{
    QString text = amount < 0.1 ? QString::asprintf("%.3f $", amount) : QString::asprintf("%.2f $", amount);
    return text.replace(u'.', u',');
}

double EngineChoices::totalCost(TranscriptionEngine stt, const QString &deepgramModel, RewriteEngine rewrite,
                                const QString &openRouterModel)
{
    double total = 0;
    switch (stt) {
    case TranscriptionEngine::Deepgram:
        total = AppSettings::costPer1000Deepgram(deepgramModel);
        break;
    case TranscriptionEngine::Gemini:
        total = 0.05;
        break;
    case TranscriptionEngine::Local:
        break;
    }
    if (rewrite == RewriteEngine::OpenRouter)
        total += AppSettings::costPer1000OpenRouter(openRouterModel).value_or(0);
    return total;
}

bool EngineChoices::throughOpenRouter() const
{
    return usesOwnKey() || !Services::hosted();
}

QString EngineChoices::sttLabel() const
{
    if (!settings_)
        return {};
    switch (settings_->transcriptionEngine()) {
    case TranscriptionEngine::Gemini:
        return throughOpenRouter() ? u"Gemini 2.5 Flash Lite · OpenRouter"_s : u"Ombry IA"_s;
    case TranscriptionEngine::Local:
        return u"Reconnaissance locale · sur cet ordinateur"_s;
    case TranscriptionEngine::Deepgram:
        return u"Deepgram · "_s + settings_->deepgramModel();
    }
    return {};
}

QString EngineChoices::rewriteLabel() const
{
    if (!settings_)
        return {};
    switch (settings_->rewriteEngine()) {
    case RewriteEngine::Local:
        return localAvailable_ ? u"Modèle local · sur cet ordinateur"_s : u"Modèle local · non disponible"_s;
    case RewriteEngine::OpenRouter:
        return throughOpenRouter() ? u"OpenRouter · "_s + settings_->openRouterModel() : u"Ombry IA"_s;
    case RewriteEngine::None:
        return u"Nettoyage simple"_s;
    }
    return {};
}

QString EngineChoices::costText() const
{
    if (!settings_)
        return {};
    const double total = totalCost(settings_->transcriptionEngine(), settings_->deepgramModel(),
                                   settings_->rewriteEngine(), settings_->openRouterModel());
    if (total == 0)
        return u"Gratuit"_s;
    return money(total) + u" / 1 000 dictées"_s;
}

QVariantList EngineChoices::transcriptionOptions() const
{
    QVariantList out;
    if (!settings_)
        return out;
    const auto option = [](TranscriptionEngine value, const QString &label) {
        return QVariantMap{{u"value"_s, int(value)}, {u"label"_s, label}};
    };
    out << option(TranscriptionEngine::Gemini, throughOpenRouter() ? u"Gemini · niveau Whisper · ≈ 0,05 $ / 1 000 dictées"_s
                                                            : u"Ombry IA · niveau Whisper · ≈ 0,05 $ / 1 000 dictées"_s);
    out << option(TranscriptionEngine::Local, u"Reconnaissance locale, sur cet ordinateur · gratuit"_s);
    if (settings_->ownKeyMode() || !Services::hosted() || settings_->transcriptionEngine() == TranscriptionEngine::Deepgram)
        out << option(TranscriptionEngine::Deepgram, u"Deepgram · ≈ 0,26 $ / h"_s);
    return out;
}

QVariantList EngineChoices::rewriteOptions() const
{
    const auto option = [](RewriteEngine value, const QString &label) {
        return QVariantMap{{u"value"_s, int(value)}, {u"label"_s, label}};
    };
    return {option(RewriteEngine::Local, u"Modèle local, sur cet ordinateur · gratuit"_s),
            option(RewriteEngine::OpenRouter, throughOpenRouter() ? u"OpenRouter"_s : u"Ombry IA · dans le cloud"_s),
            option(RewriteEngine::None, u"Aucune · nettoyage simple · gratuit"_s)};
}

QVariantList EngineChoices::deepgramOptions() const
{
    QVariantList out;
    for (const AppSettings::Model &m : AppSettings::deepgramModels())
        out << QVariantMap{{u"id"_s, m.id},
                           {u"label"_s, QString(m.name + u" · "_s + m.note + u" · "_s + money(m.priceIn * 60) + u" / h"_s)}};
    return out;
}

QVariantList EngineChoices::openRouterOptions() const
{
    QVariantList out;
    bool known = false;
    const QString stored = settings_ ? settings_->openRouterModel() : QString();
    for (const AppSettings::Model &m : AppSettings::openRouterModels()) {
        QString label = m.name;
        if (!m.note.isEmpty())
            label += u" · "_s + m.note;
        label += u" · "_s + money(AppSettings::costPer1000OpenRouter(m.id).value_or(0)) + u" / 1 000 dictées"_s;
        out << QVariantMap{{u"id"_s, m.id}, {u"label"_s, label}};
        known = known || m.id == stored;
    }
    // A model typed by hand stays selected.
    if (!known && !stored.isEmpty())
        out << QVariantMap{{u"id"_s, stored}, {u"label"_s, stored}};
    return out;
}
