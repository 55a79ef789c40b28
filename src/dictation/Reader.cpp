#include "dictation/Reader.h"

#include "core/Log.h"
#include "text/Translator.h"

#include <type_traits>
#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>
#include <QLocale>
#include <QTextToSpeech>
#include <QTimer>

static_assert(!std::is_default_constructible_v<Reader>, "QML must use create()");


Reader::Reader(QObject *parent) : QObject(parent) {}

QTextToSpeech *Reader::synth()
{
    // Made at the first text: it starts the speech server, which most sessions never need.
    if (!synth_) {
        synth_ = new QTextToSpeech(this);
        // From say() to the server's first report the reader counts as speaking:
        // the first start of the speech server takes more than a second.
        connect(synth_, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State state) {
            if (state == QTextToSpeech::Speaking)
                starting_ = false;
            Q_EMIT speakingChanged();
        });
    }
    return synth_;
}

int Reader::quality(const VoiceInfo &voice)
{
    const QString module = voice.module.toLower();
    const QString name = voice.name.toLower();
    for (const char *natural : {"piper", "rhvoice", "voxin", "ibmtts", "kali", "baratinoo"})
        if (module.contains(QLatin1String(natural)))
            return 3;
    if (module.contains(QLatin1String("pico")) || name.contains(QLatin1String("mbrola"))
        || name.startsWith(QLatin1String("mb-")))
        return 2;
    // espeak's variants ("French (France)+Demonic") change the formant voice, never for the better.
    if (module.contains(QLatin1String("espeak")) && name.contains(QLatin1Char('+')))
        return 0;
    return 1;
}

qsizetype Reader::bestVoice(const QList<VoiceInfo> &voices, const QString &code)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < voices.size(); ++i) {
        const QString locale = voices[i].locale.name();
        if (!locale.startsWith(code) || (locale.size() > code.size() && locale.at(code.size()) != QLatin1Char('_')))
            continue;
        if (best < 0 || quality(voices[i]) > quality(voices[best]))
            best = i;
    }
    return best;
}

bool Reader::useBestVoice(const QString &code)
{
    auto it = voices_.find(code);
    if (it == voices_.end()) {
        // Qt lists the voices of the current locale only: go through the
        // language's locales once.
        QList<QVoice> all;
        QList<VoiceInfo> infos;
        for (const QLocale &locale : synth()->availableLocales()) {
            if (!locale.name().startsWith(code))
                continue;
            synth()->setLocale(locale);
            for (const QVoice &voice : synth()->availableVoices()) {
                // The module is only in the voice's serialised form.
                QByteArray bytes;
                {
                    QDataStream out(&bytes, QIODevice::WriteOnly);
                    out << voice;
                }
                QDataStream in(bytes);
                QString name;
                QLocale voiceLocale;
                int gender = 0;
                int age = 0;
                QVariant data;
                in >> name >> voiceLocale >> gender >> age >> data;
                all << voice;
                infos << VoiceInfo{voice.name(), QString::fromUtf8(data.toByteArray()), voice.locale()};
            }
        }
        const qsizetype best = bestVoice(infos, code);
        it = voices_.insert(code, best < 0 ? std::nullopt : std::optional<QVoice>(all[best]));
    }
    if (!*it)
        return false;
    synth()->setLocale((*it)->locale());
    synth()->setVoice(**it);
    return true;
}

bool Reader::isSpeaking() const
{
    return !stopped_ && (starting_ || (synth_ && synth_->state() == QTextToSpeech::Speaking));
}

void Reader::stop()
{
    stopped_ = true;
    starting_ = false;
    if (synth_)
        synth_->stop();
    Q_EMIT speakingChanged();
}

void Reader::speak(const QString &text)
{
    synth()->stop();
    lastLocale_.clear();

    std::optional<QString> code;
    if (const std::optional<QString> name = Translator::detect(text)) {
        for (const auto &[language, languageCode] : Translator::codes())
            if (language == *name)
                code = languageCode;
    }
    if (code && useBestVoice(*code)) {
        lastLocale_ = synth()->locale().name();
    } else if (code) {
        // No voice of the language installed: the speech server's for it.
        synth()->setLocale(QLocale(*code));
        lastLocale_ = QLocale(*code).name();
    } else {
        synth()->setLocale(QLocale::system());
    }
    stopped_ = false;
    starting_ = true;
    const quint64 serial = ++serial_;
    synth()->say(text);
    Q_EMIT speakingChanged();
    // A speech server that never starts must not leave the reader "speaking".
    QTimer::singleShot(3000, this, [this, serial] {
        if (serial == serial_ && starting_) {
            starting_ = false;
            Q_EMIT speakingChanged();
        }
    });
}
