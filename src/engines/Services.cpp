#include "engines/Services.h"

#include <QtGlobal>

namespace {

std::optional<QUrl> parsed(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

QUrl fromEnvironment(const char *name, const char *fallback)
{
    if (qEnvironmentVariableIsSet(name)) {
        if (auto url = parsed(qEnvironmentVariable(name)))
            return *url;
    }
    return QUrl(QString::fromLatin1(fallback));
}

std::optional<QUrl> optionalFromEnvironment(const char *name)
{
    if (!qEnvironmentVariableIsSet(name))
        return std::nullopt;
    return parsed(qEnvironmentVariable(name));
}

} // namespace

namespace Services {

QUrl openRouter() { return fromEnvironment("OMBRY_OPENROUTER_URL", "https://openrouter.ai"); }
QUrl deepgram() { return fromEnvironment("OMBRY_DEEPGRAM_URL", "https://api.deepgram.com"); }
QUrl languageTool() { return fromEnvironment("OMBRY_LANGUAGETOOL_URL", "https://api.languagetool.org"); }
std::optional<QUrl> hosted() { return optionalFromEnvironment("OMBRY_HOSTED_URL"); }
std::optional<QUrl> updates() { return optionalFromEnvironment("OMBRY_UPDATES_URL"); }
QUrl localLanguageModel() { return fromEnvironment("OMBRY_LOCAL_LLM_URL", "http://127.0.0.1:11434/v1"); }
QString localLanguageModelName() { return qEnvironmentVariable("OMBRY_LOCAL_LLM_MODEL").trimmed(); }
QUrl localSpeech() { return fromEnvironment("OMBRY_LOCAL_ASR_URL", "http://127.0.0.1:8178/v1"); }

QUrl appending(const QUrl &base, const QString &path)
{
    QString tail = path;
    QString query;
    if (const qsizetype mark = tail.indexOf(QLatin1Char('?')); mark >= 0) {
        query = tail.mid(mark + 1);
        tail.truncate(mark);
    }
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    QString head = base.path(QUrl::FullyEncoded);
    while (head.endsWith(QLatin1Char('/')))
        head.chop(1);
    QUrl url = base;
    url.setPath(head + QLatin1Char('/') + tail, QUrl::TolerantMode);
    url.setQuery(query.isEmpty() ? QString() : query, QUrl::TolerantMode);
    url.setFragment(QString());
    return url;
}

} // namespace Services
