#include "dictation/Reader.h"

#include "app/Application.h"

#include "model/Log.h"
#include "text/Translator.h"

#include <type_traits>
#include <QCoreApplication>
#include <QJSEngine>
#include <QLocale>
#include <QTextToSpeech>
#include <QTimer>

Reader *Reader::shared()
{
    return Application::root().reader();
}

static_assert(!std::is_default_constructible_v<Reader>, "QML must use create()");

Reader *Reader::create(QQmlEngine *, QJSEngine *)
{
    Reader *instance = shared();
    QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
    return instance;
}

Reader::Reader(QObject *parent)
    : QObject(parent)
    , synth_(new QTextToSpeech(this))
{
    // From say() to the server's first report the reader counts as speaking:
    // the first start of the speech server takes more than a second.
    connect(synth_, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State state) {
        if (state == QTextToSpeech::Speaking)
            starting_ = false;
        Q_EMIT speakingChanged();
    });
}

bool Reader::isSpeaking() const
{
    return !stopped_ && (starting_ || synth_->state() == QTextToSpeech::Speaking);
}

void Reader::stop()
{
    stopped_ = true;
    starting_ = false;
    synth_->stop();
    Q_EMIT speakingChanged();
}

void Reader::speak(const QString &text)
{
    synth_->stop();
    lastLocale_.clear();

    std::optional<QString> code;
    if (const std::optional<QString> name = Translator::detect(text)) {
        for (const auto &[language, languageCode] : Translator::codes())
            if (language == *name)
                code = languageCode;
    }
    if (code) {
        // The language's main locale (fr → fr_FR) when installed, else any of
        // that language; the speech server picks its voice for the locale.
        const QList<QLocale> locales = synth_->availableLocales();
        const QLocale main(*code);
        QLocale chosen = main;
        bool found = locales.contains(main);
        for (qsizetype i = 0; !found && i < locales.size(); ++i) {
            if (locales[i].language() == main.language()) {
                chosen = locales[i];
                found = true;
            }
        }
        synth_->setLocale(chosen);
        lastLocale_ = chosen.name();
    } else {
        synth_->setLocale(QLocale::system());
    }
    stopped_ = false;
    starting_ = true;
    const quint64 serial = ++serial_;
    synth_->say(text);
    Q_EMIT speakingChanged();
    // A speech server that never starts must not leave the reader "speaking".
    QTimer::singleShot(3000, this, [this, serial] {
        if (serial == serial_ && starting_) {
            starting_ = false;
            Q_EMIT speakingChanged();
        }
    });
}
