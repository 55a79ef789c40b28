#include "dictation/Chunker.h"

#include "audio/AudioRecorder.h"
#include "dictation/ProcessingRoad.h"
#include "engines/EngineError.h"
#include "engines/GeminiSpeech.h"
#include "engines/Hallucination.h"
#include "engines/Net.h"
#include "engines/OpenRouter.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "model/Store.h"
#include "model/TextUtil.h"

void Chunker::cut(qsizetype at, AudioRecorder &recorder)
{
    if (at - lastCut_ < kMinimumChunk)
        return;
    // Copied under the recorder's lock while capture goes on.
    QByteArray piece = recorder.pcm(lastCut_, at);
    lastCut_ = at;
    start(std::move(piece));
}

Chunker::Work Chunker::work(DictationData data)
{
    return [data](QByteArray pcm, QString tone, Cancelled cancelled) {
        return handle(data, std::move(pcm), std::move(tone), std::move(cancelled));
    };
}

QCoro::Task<Chunker::Result> Chunker::handle(DictationData data, QByteArray pcm, QString tone, Cancelled cancelled)
{
    const int peak = AudioRecorder::peakMagnitude(pcm);
    if (peak < 1501)
        co_return ChunkText{};
    if (AudioRecorder::speechSeconds(pcm) <= 0.4)
        co_return ChunkText{};
    QByteArray trimmed = AudioRecorder::trimSilence(pcm);
    // The gain follows the untrimmed piece's peak: min(20000 / peak, 8).
    if (peak < 12000)
        trimmed = AudioRecorder::normalize(trimmed, peak);
    const QByteArray wav = AudioRecorder::wav(trimmed);

    data.stop = cancelled->requests;
    const OmbryAI::Access access = data.access();
    const QString language = promptName(data.settings->language());
    const QStringList words = data.store->words();
    QString raw;
    try {
        if (cancelled->load())
            throw Road::Cancelled();
        QCoro::Task<QString> transcription = GeminiSpeech::transcribe(access, wav, language, words);
        raw = co_await std::move(transcription);
        if (cancelled->load())
            throw Road::Cancelled();
    } catch (const std::exception &error) {
        Log::write(QStringLiteral("morceau: ") + describe(error));
        co_return std::nullopt;
    }

    const QString corrected = data.store->applyCorrections(raw);
    if (TextUtil::trimmed(corrected).isEmpty())
        co_return ChunkText{};
    if (TextUtil::wordCount(corrected) < 4)
        co_return ChunkText{raw, OpenRouter::basicCleanup(corrected)};

    // The tone is this chunker's own, handed to the prompt directly.
    const QString system = OpenRouter::instructions(language, words, data.settings->punctuation(), tone);
    try {
        const QString model = data.settings->openRouterModel();
        QCoro::Task<QString> rewriting = OpenRouter::complete(access, system, corrected, model);
        QString answer = co_await std::move(rewriting);
        const QString rewritten = Road::checkedRewrite(corrected, std::move(answer), QStringLiteral("Reformulation"));
        if (cancelled->load())
            throw Road::Cancelled();
        co_return ChunkText{raw, Hallucination::clean(rewritten)};
    } catch (const std::exception &error) {
        Log::write(QStringLiteral("morceau: ") + describe(error));
        co_return std::nullopt;
    }
}
