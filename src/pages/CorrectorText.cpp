#include "pages/CorrectorText.h"

#include "model/TextUtil.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace CorrectorText {

namespace {

const QString kEmpty = QStringLiteral("∅");

bool isBlank(QChar c)
{
    return TextUtil::isWhiteSpace(c.unicode());
}

// The words of `text` joined by one space, as the comparison writes a fix's side.
QString joinedWords(QStringView text)
{
    QString out;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isBlank(text.at(i))) {
            if (start >= 0) {
                if (!out.isEmpty())
                    out.append(QLatin1Char(' '));
                out.append(text.mid(start, i - start));
            }
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    return out;
}

// Every fix placed, in text order, each range holding its correction.
bool rangesHold(const Analysis &analysis)
{
    const QString &s = analysis.corrected;
    qsizetype end = 0;
    for (const Fix &fix : analysis.fixes) {
        if (fix.at < end || fix.length < 0 || fix.at + fix.length > s.size())
            return false;
        if (fix.correction == kEmpty) {
            if (fix.length != 0)
                return false;
        } else if (fix.length == 0 || joinedWords(QStringView(s).mid(fix.at, fix.length)) != fix.correction) {
            return false;
        }
        end = fix.at + fix.length;
    }
    return true;
}

bool hasTextBefore(const QString &s, qsizetype at)
{
    for (qsizetype i = 0; i < at; ++i)
        if (!isBlank(s.at(i)))
            return true;
    return false;
}

Rendered renderByRange(const Analysis &analysis, const QSet<QUuid> &ignored)
{
    const QString &s = analysis.corrected;
    Rendered out;
    out.text.reserve(s.size() + 64);
    qsizetype cursor = 0;
    for (const Fix &fix : analysis.fixes) {
        const bool inserted = fix.original == kEmpty;
        const bool removed = fix.correction == kEmpty;
        if (!ignored.contains(fix.id) || (inserted && removed)) {
            out.text.append(QStringView(s).mid(cursor, fix.at + fix.length - cursor));
            if (!removed)
                out.highlights.append({out.text.size() - fix.length, fix.length});
            cursor = fix.at + fix.length;
            continue;
        }
        if (inserted) {
            // The added words go with the blanks before them (or after, at the start).
            qsizetype from = fix.at;
            qsizetype to = fix.at + fix.length;
            while (from > cursor && isBlank(s.at(from - 1)))
                --from;
            if (from == fix.at)
                while (to < s.size() && isBlank(s.at(to)))
                    ++to;
            out.text.append(QStringView(s).mid(cursor, from - cursor));
            cursor = to;
        } else if (removed) {
            out.text.append(QStringView(s).mid(cursor, fix.at - cursor));
            if (hasTextBefore(s, fix.at))
                out.text.append(QLatin1Char(' ') + fix.original);
            else
                out.text.append(fix.original + (fix.at < s.size() ? QStringLiteral(" ") : QString()));
            cursor = fix.at;
        } else {
            out.text.append(QStringView(s).mid(cursor, fix.at - cursor));
            out.text.append(fix.original);
            cursor = fix.at + fix.length;
        }
    }
    out.text.append(QStringView(s).mid(cursor));
    return out;
}

Rendered renderBySearch(const Analysis &analysis, const QSet<QUuid> &ignored)
{
    Rendered out;
    out.text = analysis.corrected;
    for (const Fix &fix : analysis.fixes) {
        if (!ignored.contains(fix.id) || fix.correction == kEmpty || fix.original == kEmpty)
            continue;
        const qsizetype at = out.text.indexOf(fix.correction);
        if (at >= 0)
            out.text.replace(at, fix.correction.size(), fix.original);
    }
    qsizetype cursor = 0;
    for (const Fix &fix : analysis.fixes) {
        if (ignored.contains(fix.id) || fix.correction == kEmpty || fix.correction.isEmpty())
            continue;
        qsizetype at = out.text.indexOf(fix.correction, cursor);
        if (at < 0)
            at = out.text.indexOf(fix.correction);
        if (at < 0)
            continue;
        out.highlights.append({at, fix.correction.size()});
        cursor = at + fix.correction.size();
    }
    return out;
}

} // namespace

Rendered render(const Analysis &analysis, const QSet<QUuid> &ignored)
{
    return rangesHold(analysis) ? renderByRange(analysis, ignored) : renderBySearch(analysis, ignored);
}

int score(qsizetype fixes, qsizetype words)
{
    const double lost = std::round(double(fixes) / double(std::max<qsizetype>(words, 1)) * 100.0 * 2.5);
    return int(std::max(0.0, 100.0 - lost));
}

QString capitalised(const QString &kind)
{
    QString out = kind.toLower();
    bool start = true;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (isBlank(out.at(i))) {
            start = true;
        } else if (start) {
            out[i] = out.at(i).toUpper();
            start = false;
        }
    }
    return out;
}

QString number(qsizetype n)
{
    static const QLocale french(QLocale::French, QLocale::France);
    return french.toString(qint64(n));
}

QString wordCountText(qsizetype words)
{
    return number(words) + (words >= 2 ? QStringLiteral(" mots") : QStringLiteral(" mot"));
}

QString liveCountText(qsizetype count)
{
    if (count <= 0)
        return QStringLiteral("Aucune faute repérée");
    if (count == 1)
        return QStringLiteral("1 faute repérée");
    return number(count) + QStringLiteral(" fautes repérées");
}

QString fixesTitle(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("Aucune faute");
    return number(count) + (count == 1 ? QStringLiteral(" correction") : QStringLiteral(" corrections"));
}

QList<Mistake> frequentMistakes(const QList<CorrectionRecord> &records)
{
    QList<Mistake> table;
    QHash<QString, qsizetype> rows;
    for (const CorrectionRecord &record : records) {
        for (const Fix &fix : record.fixes) {
            if (fix.original == kEmpty || fix.correction == kEmpty)
                continue;
            // Grapheme counting only where UTF-16 length leaves it open.
            if (fix.original.size() >= 30 && TextUtil::characterCount(fix.original) >= 30)
                continue;
            const QString key = fix.original.toLower() + QStringLiteral("→") + fix.correction;
            const auto it = rows.constFind(key);
            if (it != rows.constEnd()) {
                ++table[*it].count;
            } else {
                rows.insert(key, table.size());
                table.append({fix.original, fix.correction, 1});
            }
        }
    }
    std::stable_sort(table.begin(), table.end(), [](const Mistake &a, const Mistake &b) { return a.count > b.count; });
    if (table.size() > maxMistakes)
        table.resize(maxMistakes);
    return table;
}

} // namespace CorrectorText
