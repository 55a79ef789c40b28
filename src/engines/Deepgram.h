#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QCoroTask>

#include <optional>

// Speech to text by the Deepgram service, always with the user's own key.
namespace Deepgram {

// Transcript of a WAV recording. `model` is a Deepgram model id ("nova-3"),
// `language` a Deepgram language code ("fr", "multi"), `keyterms` the dictionary
// words to favour, `storedKey` the user's Deepgram key as stored. Throws
// EngineError (missing key, refused request), NetworkError, or DecodingError for
// a reply of the wrong shape. Main thread.
QCoro::Task<QString> transcribe(QByteArray wav, QString model, QString language, QStringList keyterms,
                                std::optional<QString> storedKey);

// The query of a request, every value percent-encoded ("C++" goes as "C%2B%2B").
QString query(const QString &model, const QString &language, const QStringList &keyterms);

} // namespace Deepgram
