#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Addresses of the outside services. Each is a constant that an environment
// variable overrides (tests point them at 127.0.0.1; a user may run LanguageTool
// on a server of their own). Read at every call, so a changed variable holds at once.
namespace Services {

// OMBRY_OPENROUTER_URL, default https://openrouter.ai
QUrl openRouter();
// OMBRY_DEEPGRAM_URL, default https://api.deepgram.com
QUrl deepgram();
// OMBRY_LANGUAGETOOL_URL, default https://api.languagetool.org
QUrl languageTool();
// OMBRY_HOSTED_URL: the maker's hosted AI service; none when unset or not an
// http(s) address with a host.
std::optional<QUrl> hosted();
// OMBRY_UPDATES_URL: the release feed; none when unset or invalid.
std::optional<QUrl> updates();
// OMBRY_LOCAL_LLM_URL, default http://127.0.0.1:11434/v1
QUrl localLanguageModel();
// OMBRY_LOCAL_LLM_MODEL; empty means "the first model the server lists".
QString localLanguageModelName();
// OMBRY_LOCAL_ASR_URL, default http://127.0.0.1:8178/v1
QUrl localSpeech();

// `base` with `path` appended to its path, with exactly one slash between them
// ("https://h/x" + "api/voice" → "https://h/x/api/voice"). A query in `path`
// ("/api/v1/models?limit=1") becomes the address's query.
QUrl appending(const QUrl &base, const QString &path);

} // namespace Services
