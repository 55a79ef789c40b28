// The look-ups the dictation makes in the store: corrections and snippets.

#include "model/Store.h"

#include "model/TextUtil.h"

void Store::rebuildCorrectionCache()
{
    compiled_.clear();
    compiled_.reserve(corrections_.size());
    for (const Correction &c : corrections_) {
        if (TextUtil::trimmedBlanks(c.heard).isEmpty())
            continue;
        QRegularExpression expression(QStringLiteral("(?<![\\p{L}\\p{N}])") + QRegularExpression::escape(c.heard)
                                          + QStringLiteral("(?![\\p{L}\\p{N}])"),
                                      QRegularExpression::CaseInsensitiveOption);
        if (!expression.isValid())
            continue;
        expression.optimize();
        compiled_.push_back({std::move(expression), c.written});
    }
}

QString Store::applyCorrections(const QString &text) const
{
    QString current = text;
    for (const CompiledCorrection &c : compiled_) {
        QRegularExpressionMatchIterator it = c.expression.globalMatch(current);
        if (!it.hasNext())
            continue;
        // Built by hand: QString::replace would read "\1" in the written text as a back-reference.
        QString out;
        out.reserve(current.size() + c.written.size());
        qsizetype last = 0;
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            out.append(QStringView(current).mid(last, m.capturedStart() - last));
            out.append(c.written);
            last = m.capturedEnd();
        }
        out.append(QStringView(current).mid(last));
        current = std::move(out);
    }
    return current;
}

QString Store::snippetKey(const QString &text)
{
    const QString folded = text.toLower().normalized(QString::NormalizationForm_D);
    QString kept;
    kept.reserve(folded.size());
    for (const char32_t c : folded.toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing)
            continue; // the diacritics of the decomposed letters
        if (c == U' ' || QChar::isLetter(c) || QChar::isNumber(c))
            kept.append(QString::fromUcs4(&c, 1));
    }
    kept = kept.normalized(QString::NormalizationForm_C);
    qsizetype begin = 0;
    qsizetype end = kept.size();
    while (begin < end && kept.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && kept.at(end - 1) == QLatin1Char(' '))
        --end;
    return kept.mid(begin, end - begin);
}

void Store::rebuildSnippetCache()
{
    snippetKeys_.clear();
    snippetKeys_.reserve(snippets_.size());
    for (const Snippet &s : snippets_)
        snippetKeys_.push_back(s.trigger.isEmpty() ? QString() : snippetKey(s.trigger));
}

std::optional<Snippet> Store::snippet(const QString &matching) const
{
    const QString key = snippetKey(matching);
    if (key.isEmpty())
        return std::nullopt;
    for (size_t i = 0; i < snippetKeys_.size(); ++i)
        if (!snippetKeys_[i].isEmpty() && snippetKeys_[i] == key)
            return snippets_.at(qsizetype(i));
    return std::nullopt;
}
