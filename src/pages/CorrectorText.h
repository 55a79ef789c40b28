#pragma once

#include "model/Records.h"
#include "model/Fix.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

// The texts the corrector page derives from a correction: the text to copy with the
// ignored fixes put back, the ranges to highlight, the score, the frequent mistakes.
namespace CorrectorText {

struct Range
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const Range &o) const { return start == o.start && length == o.length; }
};

struct Rendered
{
    QString text;             // the corrected text with every ignored fix undone
    QList<Range> highlights;  // each kept fix that put words in, in `text`
};

// Goes by the fixes' ranges when every fix has a sound one; otherwise by searching
// each correction, first occurrence, as a fix from elsewhere only allows.
Rendered render(const Analysis &analysis, const QSet<QUuid> &ignored);

// 100 less 2.5 points per fix per 100 words, never below 0; `words` of the text that
// was analysed (an empty text counts as one word).
int score(qsizetype fixes, qsizetype words);

// "Orthographe": each word's first letter in upper case, the rest in lower case.
QString capitalised(const QString &kind);

// "0 mot", "1 mot", "2 mots" (fr_FR digits).
QString wordCountText(qsizetype words);
// "Aucune faute repérée", "1 faute repérée", "3 fautes repérées".
QString liveCountText(qsizetype count);
// "Aucune faute", "1 correction", "2 corrections".
QString fixesTitle(qsizetype count);
// A number in fr_FR digits ("1 500" with a narrow space).
QString number(qsizetype n);

struct Mistake
{
    QString original;
    QString correction;
    qsizetype count = 0;
    bool operator==(const Mistake &o) const
    {
        return original == o.original && correction == o.correction && count == o.count;
    }
};

// The six most frequent changes over the records, newest record first: a change is
// its original lower-cased and its correction; insertions, removals and originals of
// 30 characters or more are left out. Ties keep the order in which they were first met.
QList<Mistake> frequentMistakes(const QList<CorrectionRecord> &records);
constexpr qsizetype maxMistakes = 6;

} // namespace CorrectorText
