#include "pages/TranslatorModel.h"

#include "core/SetOnce.h"
#include "dictation/ProcessingRoad.h"
#include "engines/EngineError.h"
#include "dictation/Reader.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "platform/Clipboard.h"
#include "platform/FrontmostApp.h"
#include "text/Translator.h"

#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

TranslatorModel::TranslatorModel(QObject *parent) : QObject(parent)
{
    wait_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early: the pause is 0.7 s, never less.
    wait_.setTimerType(Qt::PreciseTimer);
    connect(&wait_, &QTimer::timeout, this, &TranslatorModel::send);
}

TranslatorModel::TranslatorModel(AppSettings *settings, Store *store, KeyStore *keys, Reader *reader,
                                 QObject *parent)
    : TranslatorModel(parent)
{
    setSettings(settings);
    setStore(store);
    setKeys(keys);
    setReader(reader);
    started_ = true;
}

TranslatorModel::~TranslatorModel() = default;

AppSettings *TranslatorModel::settings() const
{
    return settings_;
}

Store *TranslatorModel::store() const
{
    return store_;
}

KeyStore *TranslatorModel::keys() const
{
    return keys_;
}

Reader *TranslatorModel::reader() const
{
    return reader_;
}

void TranslatorModel::setSettings(AppSettings *settings)
{
    if (!setOnce(settings_, settings, started_))
        return;
    target_ = settings_->translateTarget();
    Q_EMIT targetChanged();
}

void TranslatorModel::setStore(Store *store)
{
    setOnce(store_, store, started_);
}

void TranslatorModel::setKeys(KeyStore *keys)
{
    setOnce(keys_, keys, started_);
}

void TranslatorModel::setReader(Reader *reader)
{
    setOnce(reader_, reader, started_);
}

const QStringList &TranslatorModel::targets()
{
    static const QStringList names{u"anglais"_s,  u"français"_s,    u"espagnol"_s, u"allemand"_s, u"italien"_s,
                                   u"portugais"_s, u"néerlandais"_s, u"japonais"_s, u"chinois"_s};
    return names;
}

QString TranslatorModel::capitalized(const QString &name)
{
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1);
}

QStringList TranslatorModel::targetNames()
{
    QStringList names;
    for (const QString &name : targets())
        names << capitalized(name);
    return names;
}

void TranslatorModel::chooseTarget(int index)
{
    if (index >= 0 && index < targets().size())
        setTarget(targets().at(index));
}

QString TranslatorModel::sourceTitle(const std::optional<QString> &detected)
{
    if (!detected)
        return u"Détection automatique"_s;
    return u"Détecté : "_s + capitalized(*detected);
}

QString TranslatorModel::countText(const QString &text)
{
    qsizetype count = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() > 0)
        ++count;
    return QString::number(count) + u" caractères"_s;
}

void TranslatorModel::setSource(const QString &source)
{
    if (source == source_)
        return;
    source_ = source;
    Q_EMIT sourceChanged();
    schedule(typingDelayMs);
}

void TranslatorModel::setTarget(const QString &target)
{
    if (target == target_)
        return;
    target_ = target;
    Q_EMIT targetChanged();
    schedule(0);
}

void TranslatorModel::schedule(int delayMs)
{
    // A newer scheduling supersedes the waiting one and any request under way.
    wait_.stop();
    ++generation_;
    const std::optional<QString> detected = Translator::detect(source_);
    if (detected != detected_) {
        detected_ = detected;
        Q_EMIT detectedChanged();
    }
    if (source_.trimmed().isEmpty()) {
        setResult({});
        // The superseded request no longer runs for anything shown.
        setWorking(false);
        return;
    }
    pending_ = source_;
    wait_.start(delayMs);
}

void TranslatorModel::send()
{
    if (!settings_ || !store_ || !keys_)
        return;
    setWorking(true);
    setError({});
    sent_ = generation_;
    const OmbryAI::Access access{settings_, keys_, store_};
    run(this, generation_, pending_, target_, TextSettings::of(*settings_), access)
        .then([] {}, [](const std::exception &) {});
}

QCoro::Task<> TranslatorModel::run(QPointer<TranslatorModel> self, quint64 generation, QString text, QString target,
                                   TextSettings settings, OmbryAI::Access access)
{
    QString translation;
    QString failure;
    bool failed = false;
    try {
        auto translate = Translator::translate(access, text, target, false, settings);
        translation = co_await std::move(translate);
    } catch (const std::exception &error) {
        failed = true;
        failure = describe(error);
    }
    // A request sent after this one owns the spinner and the outcome. Without one,
    // this request's end is what the user waits for, even when the text has changed
    // since: the spinner stops and a failure is shown.
    if (!self || generation != self->sent_)
        co_return;
    if (failed) {
        self->setError(failure);
    } else if (generation == self->generation_ && self->source_ == text) {
        self->resultSource_ = text;
        self->resultTarget_ = target;
        self->setResult(translation);
        if (self->settings_)
            self->settings_->setTranslateTarget(target);
    }
    self->setWorking(false);
}

void TranslatorModel::swap()
{
    if (result_.isEmpty())
        return;
    const std::optional<QString> language = Translator::detect(source_);
    const QString oldSource = source_;
    const QString oldResult = result_;
    // The text goes in first so that the target's change sends the new text at once.
    source_ = oldResult;
    setResult(oldSource);
    resultSource_ = oldResult;
    resultTarget_ = language.value_or(QString());
    Q_EMIT sourceChanged();
    schedule(typingDelayMs);
    if (language && targets().contains(*language))
        setTarget(*language);
}

void TranslatorModel::clear()
{
    setSource({});
    setResult({});
}

void TranslatorModel::copy()
{
    if (result_.isEmpty() || !store_)
        return;
    Clipboard::setText(result_);
    CorrectionRecord record;
    record.date = QDateTime::currentDateTimeUtc();
    record.appName = FrontmostApp::ownName();
    record.bundleID = FrontmostApp::ownBundleId();
    // The pair the shown translation was made from, not what the fields hold meanwhile.
    record.action = u"Traduire · "_s + (resultTarget_.isEmpty() ? target_ : resultTarget_);
    record.original = resultSource_.isEmpty() ? source_ : resultSource_;
    record.result = result_;
    store_->addFix(record);
    copied_ = true;
    Q_EMIT copiedChanged();
    QTimer::singleShot(copiedMs, this, [this] {
        copied_ = false;
        Q_EMIT copiedChanged();
    });
}

void TranslatorModel::speak(const QString &text)
{
    if (!reader_)
        return;
    if (reader_->isSpeaking()) {
        reader_->stop();
        return;
    }
    reader_->speak(text);
}

void TranslatorModel::setResult(const QString &result)
{
    if (result == result_)
        return;
    result_ = result;
    Q_EMIT resultChanged();
}

void TranslatorModel::setWorking(bool on)
{
    if (on == working_)
        return;
    working_ = on;
    Q_EMIT workingChanged();
}

void TranslatorModel::setError(const QString &error)
{
    if (error == error_)
        return;
    error_ = error;
    Q_EMIT errorChanged();
}
