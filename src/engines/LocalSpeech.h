#pragma once

#include "engines/EngineError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QCoroTask>

// On-device transcription: a local OpenAI-compatible transcription server on
// loopback (OMBRY_LOCAL_ASR_URL, model OMBRY_LOCAL_ASR_MODEL or the first the
// server lists). It is the fallback after the cloud, so a missing server fails at
// once: the server must answer its model list within 500 ms.
namespace LocalSpeech {

// Transcript of a WAV recording in `language` (a locale code such as "fr"), with
// `contextualWords` as a hint; trimmed, possibly empty. Throws unavailable() when
// no server answers, EngineError for a refused request, NetworkError,
// DecodingError. Main thread.
QCoro::Task<QString> transcribe(QByteArray wav, QString language, QStringList contextualWords);

// "Reconnaissance locale : erreur 0 non disponible sur cet ordinateur (serveur local requis)"
EngineError unavailable();
bool isUnavailable(const EngineError &error);

// The words passed as the hint: those with text besides blanks, untrimmed.
QStringList hintWords(const QStringList &words);

} // namespace LocalSpeech
