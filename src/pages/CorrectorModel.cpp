#include "pages/CorrectorModel.h"

#include "core/SetOnce.h"
#include "dictation/ProcessingRoad.h"
#include "engines/EngineError.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "platform/Clipboard.h"
#include "platform/FrontmostApp.h"
#include "text/Analyzer.h"
#include "text/LanguageTool.h"

#include <QVariantMap>

#include <iterator>

namespace {

struct ActionLook
{
    TextAction action;
    const char16_t *label;
    const char *icon;
};

const ActionLook kActions[] = {
    {TextAction::Correct, u"Corriger", "checkmark.seal"},   {TextAction::Formal, u"Plus formel", "briefcase"},
    {TextAction::Friendly, u"Plus amical", "face.smiling"}, {TextAction::Concise, u"Plus court", "scissors"},
    {TextAction::Clearer, u"Plus clair", "lightbulb"},      {TextAction::Email, u"Email pro", "envelope"},
    {TextAction::Summary, u"Résumer", "text.alignleft"},    {TextAction::Translate, u"Traduire", "globe"},
};

const ActionLook &look(TextAction action)
{
    return kActions[int(action)];
}

struct ModeLook
{
    const char16_t *label;
    const char *icon;
};

// In the order of Mode.
const ModeLook kModes[] = {
    {u"Corriger", "checkmark.seal"}, {u"Reformuler", "wand.and.stars"}, {u"Résumer", "text.alignleft"}};

// None for a value QML made up.
const ModeLook *modeLook(CorrectorModel::Mode mode)
{
    const auto index = std::size_t(mode);
    return index < std::size(kModes) ? &kModes[index] : nullptr;
}

// The record every successful run leaves in the corrector history.
CorrectionRecord record(const QString &action, const QString &original, const QString &result, const QList<Fix> &fixes)
{
    CorrectionRecord r;
    r.date = QDateTime::currentDateTimeUtc();
    r.appName = FrontmostApp::ownName();
    r.bundleID = FrontmostApp::ownBundleId();
    r.action = action;
    r.original = original;
    r.result = result;
    r.fixes = fixes;
    return r;
}

} // namespace

CorrectorModel::CorrectorModel(QObject *parent)
    : QObject(parent), fixes_(new FixListModel(this)), mistakes_(new FrequentMistakesModel(nullptr, this))
{
    liveTimer_.setSingleShot(true);
    liveTimer_.setInterval(liveDelayMs);
    connect(&liveTimer_, &QTimer::timeout, this, &CorrectorModel::sendLiveCheck);
    connect(fixes_, &FixListModel::ignoredChanged, this, &CorrectorModel::rerender);
    connect(this, &CorrectorModel::resultChanged, this, &CorrectorModel::scoreChanged);
    connect(this, &CorrectorModel::textChanged, this, &CorrectorModel::scoreChanged);
}

CorrectorModel::CorrectorModel(AppSettings *settings, Store *store, KeyStore *keys, QObject *parent)
    : CorrectorModel(parent)
{
    settings_ = settings;
    setStore(store);
    keys_ = keys;
    start();
}

CorrectorModel::~CorrectorModel() = default;

AppSettings *CorrectorModel::settings() const
{
    return settings_;
}

Store *CorrectorModel::store() const
{
    return store_;
}

KeyStore *CorrectorModel::keys() const
{
    return keys_;
}

void CorrectorModel::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT punctuationHintChanged();
}

void CorrectorModel::setStore(Store *store)
{
    if (setOnce(store_, store, started_))
        mistakes_->setStore(store_);
}

void CorrectorModel::setKeys(KeyStore *keys)
{
    setOnce(keys_, keys, started_);
}

void CorrectorModel::componentComplete()
{
    start();
}

void CorrectorModel::start()
{
    if (started_)
        return;
    started_ = true;
    if (settings_)
        connect(settings_, &AppSettings::punctuationChanged, this, &CorrectorModel::punctuationHintChanged);
}

QString CorrectorModel::label(Mode mode)
{
    const ModeLook *found = modeLook(mode);
    return found ? QString::fromUtf16(found->label) : QString();
}

QString CorrectorModel::icon(Mode mode)
{
    const ModeLook *found = modeLook(mode);
    return found ? QString::fromLatin1(found->icon) : QString();
}

QString CorrectorModel::label(TextAction action)
{
    return QString::fromUtf16(look(action).label);
}

QString CorrectorModel::icon(TextAction action)
{
    return QString::fromLatin1(look(action).icon);
}

const QList<TextAction> &CorrectorModel::toneActions()
{
    static const QList<TextAction> list = {TextAction::Formal, TextAction::Friendly, TextAction::Concise,
                                           TextAction::Clearer, TextAction::Email};
    return list;
}

void CorrectorModel::setText(const QString &text)
{
    if (text == text_)
        return;
    text_ = text;
    Q_EMIT textChanged();
    Q_EMIT canRunChanged();
    scheduleLiveCheck();
}

void CorrectorModel::setMode(Mode mode)
{
    if (mode == mode_)
        return;
    mode_ = mode;
    Q_EMIT modeChanged();
    Q_EMIT rewriteTitleChanged();
    reset();
}

void CorrectorModel::setTone(const QString &raw)
{
    const std::optional<TextAction> action = textActionFromRawValue(raw);
    if (!action || !toneActions().contains(*action) || *action == tone_)
        return;
    tone_ = *action;
    Q_EMIT toneChanged();
    Q_EMIT rewriteTitleChanged();
}

QVariantList CorrectorModel::modes() const
{
    QVariantList out;
    for (const Mode mode : {Mode::Correct, Mode::Rephrase, Mode::Summary})
        out.append(QVariantMap{{QStringLiteral("mode"), QVariant::fromValue(mode)},
                               {QStringLiteral("label"), label(mode)},
                               {QStringLiteral("icon"), icon(mode)}});
    return out;
}

QVariantList CorrectorModel::tones() const
{
    QVariantList out;
    for (const TextAction action : toneActions())
        out.append(QVariantMap{{QStringLiteral("id"), rawValue(action)},
                               {QStringLiteral("label"), label(action)},
                               {QStringLiteral("icon"), icon(action)}});
    return out;
}

QString CorrectorModel::punctuationHint() const
{
    if (!settings_)
        return {};
    QString level;
    switch (settings_->punctuation()) {
    case PunctuationLevel::Light:
        level = QStringLiteral("légère");
        break;
    case PunctuationLevel::Normal:
        level = QStringLiteral("normale");
        break;
    case PunctuationLevel::Full:
        level = QStringLiteral("complète");
        break;
    }
    return QStringLiteral("Ponctuation ") + level + QStringLiteral(" · à changer dans Réglages");
}

QString CorrectorModel::wordCountText() const
{
    return CorrectorText::wordCountText(TextUtil::wordCount(text_));
}

bool CorrectorModel::canRun() const
{
    return !working_ && !TextUtil::trimmed(text_).isEmpty();
}

QString CorrectorModel::liveCountText() const
{
    return liveCount_ < 0 ? QString() : CorrectorText::liveCountText(liveCount_);
}

QString CorrectorModel::rewriteTitle() const
{
    return mode_ == Mode::Summary ? QStringLiteral("Résumé") : label(tone_);
}

QList<int> CorrectorModel::highlights() const
{
    QList<int> out;
    out.reserve(rendered_.highlights.size() * 2);
    for (const CorrectorText::Range &range : rendered_.highlights)
        out << int(range.start) << int(range.length);
    return out;
}

int CorrectorModel::score() const
{
    return analysis_ ? CorrectorText::score(analysis_->fixes.size(), TextUtil::wordCount(text_)) : 0;
}

void CorrectorModel::setWorking(bool on)
{
    if (on == working_)
        return;
    working_ = on;
    Q_EMIT workingChanged();
    Q_EMIT canRunChanged();
}

void CorrectorModel::setExplaining(bool on)
{
    if (on == explaining_)
        return;
    explaining_ = on;
    Q_EMIT explainingChanged();
}

void CorrectorModel::setLiveCount(int count)
{
    if (count == liveCount_)
        return;
    liveCount_ = count;
    Q_EMIT liveCountChanged();
}

void CorrectorModel::setError(const QString &error)
{
    if (error == error_)
        return;
    error_ = error;
    Q_EMIT errorChanged();
}

// --- live fault count

void CorrectorModel::scheduleLiveCheck()
{
    liveTimer_.stop();
    if (mode_ == Mode::Correct && settings_ && settings_->useLanguageTool() && TextUtil::wordCount(text_) >= 2)
        liveTimer_.start();
    else
        setLiveCount(-1);
}

void CorrectorModel::sendLiveCheck()
{
    liveCheck(this, text_).then([] {}, [](const std::exception &) {});
}

QCoro::Task<> CorrectorModel::liveCheck(QPointer<CorrectorModel> self, QString text)
{
    if (!self->settings_)
        co_return;
    const QString code = rawValue(self->settings_->language());
    QList<LanguageTool::Match> matches;
    try {
        auto check = LanguageTool::check(text, code);
        matches = co_await std::move(check);
    } catch (const std::exception &) {
        co_return; // the previous count stays
    }
    if (!self || self->text_ != text || !self->settings_)
        co_return;
    const AppSettings *settings = self->settings_;
    int count = 0;
    for (const LanguageTool::Match &match : std::as_const(matches))
        if (LanguageTool::allowed(match, settings->correctionScope(), settings->punctuation()))
            ++count;
    self->setLiveCount(count);
}

// --- run

void CorrectorModel::reset()
{
    const bool hadResult = analysis_ || rewritten_;
    analysis_.reset();
    rewritten_.reset();
    fixes_->setFixes({});
    setError(QString());
    if (hadResult) {
        rerender();
        Q_EMIT resultChanged();
    }
}

void CorrectorModel::run()
{
    if (!canRun() || !settings_ || !store_ || !keys_)
        return;
    const QString text = text_;
    reset();
    setWorking(true);
    // A newer run owns the result: an older run's explanation no longer applies.
    ++generation_;
    setExplaining(false);
    Log::write(QStringLiteral("correcteur: ") + label(mode_) + QStringLiteral(", ")
               + QString::number(TextUtil::characterCount(text)) + QStringLiteral(" caractères"));

    const QString language = promptName(settings_->language());
    const TextSettings values = TextSettings::of(*settings_);
    const OmbryAI::Access access{settings_, keys_, store_};
    if (mode_ == Mode::Correct) {
        correctRun(this, generation_, text, language, store_->words(), values, access)
            .then([] {}, [](const std::exception &) {});
    } else {
        const TextAction action = mode_ == Mode::Rephrase ? tone_ : TextAction::Summary;
        rewriteRun(this, generation_, text, action, language, settings_->translateTarget(), values, access)
            .then([] {}, [](const std::exception &) {});
    }
}

// Logged in any case; shown only while the page is there and the run still its own.
void CorrectorModel::failed(QPointer<CorrectorModel> self, quint64 generation, const QString &failure)
{
    Log::write(QStringLiteral("correcteur: ") + failure);
    if (self && self->current(generation)) {
        self->setError(failure);
        self->setWorking(false);
    }
}

QCoro::Task<> CorrectorModel::correctRun(QPointer<CorrectorModel> self, quint64 generation, QString text,
                                         QString language, QStringList words, TextSettings settings,
                                         OmbryAI::Access access)
{
    Analysis result;
    QString failure;
    try {
        auto analyse = Analyzer::analyze(access, text, language, words, settings);
        result = co_await std::move(analyse);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull()) {
        failed(self, generation, failure);
        co_return;
    }
    if (self && self->current(generation)) {
        self->showAnalysis(result);
        self->setWorking(false);
    }
    if (result.corrected == text)
        co_return;

    if (self && self->current(generation))
        self->setExplaining(true);
    auto explain = Analyzer::explain(access, result.fixes, text, language, settings);
    const QList<Fix> explained = co_await std::move(explain);
    if (self && self->current(generation)) {
        self->setExplaining(false);
        if (self->analysis_ && self->analysis_->corrected == result.corrected) {
            // By id, so that the ignored fixes stay those the user chose.
            for (Fix &fix : self->analysis_->fixes)
                for (const Fix &done : explained)
                    if (done.id == fix.id) {
                        fix.kind = done.kind;
                        fix.explanation = done.explanation;
                    }
            self->fixes_->updateFixes(explained);
        }
    }
    if (access.store)
        access.store->addFix(record(CorrectorModel::label(TextAction::Correct), text, result.corrected, explained));
}

QCoro::Task<> CorrectorModel::rewriteRun(QPointer<CorrectorModel> self, quint64 generation, QString text,
                                         TextAction action, QString language, QString target, TextSettings settings,
                                         OmbryAI::Access access)
{
    QString result;
    QString failure;
    try {
        auto rewrite = Analyzer::rewrite(access, text, action, language, target, settings);
        result = co_await std::move(rewrite);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull()) {
        failed(self, generation, failure);
        co_return;
    }
    if (self && self->current(generation))
        self->showRewrite(result);
    if (access.store)
        access.store->addFix(record(CorrectorModel::label(action), text, result, {}));
    if (self && self->current(generation))
        self->setWorking(false);
}

void CorrectorModel::showAnalysis(const Analysis &analysis)
{
    rewritten_.reset();
    analysis_ = analysis;
    fixes_->setFixes(analysis.fixes);
    rerender();
    Q_EMIT resultChanged();
}

void CorrectorModel::showRewrite(const QString &text)
{
    analysis_.reset();
    fixes_->setFixes({});
    rewritten_ = text;
    rerender();
    Q_EMIT resultChanged();
}

void CorrectorModel::rerender()
{
    rendered_ = analysis_ ? CorrectorText::render(*analysis_, fixes_->ignored()) : CorrectorText::Rendered{};
    Q_EMIT finalTextChanged();
}

// --- result actions

void CorrectorModel::copy(const QString &text)
{
    Clipboard::setText(text);
    if (!copied_) {
        copied_ = true;
        Q_EMIT copiedChanged();
    }
    // Each copy schedules its own end; the first one due ends the "Copié" state.
    QTimer::singleShot(copiedMs, this, [this] {
        if (copied_) {
            copied_ = false;
            Q_EMIT copiedChanged();
        }
    });
}

void CorrectorModel::replace(const QString &text)
{
    setText(text);
    reset();
}

void CorrectorModel::clear()
{
    reset();
    setText(QString());
}

void CorrectorModel::toggleFix(const QString &id)
{
    fixes_->toggle(QUuid::fromString(id));
}

void CorrectorModel::toggleAll()
{
    fixes_->setAllIgnored(fixes_->ignored().isEmpty());
}
