#pragma once

#include <QString>

// A correction goes back in place of the user's selection, which is often part
// of a sentence: it must fit where the selection was.
namespace SelectionFit {

// Whether `selection` is a whole sentence: it starts with a capital (after any
// opening quote or bracket) and ends with a sentence's final mark.
bool wholeSentence(const QString &selection);

// `corrected` made to fit in place of `selection`: the selection's own leading
// and trailing blanks and line breaks exactly; and, unless the selection is a
// whole sentence, no capital at its start and no final punctuation at its end
// that the selection did not have. An empty correction of a text that was not
// blank gives the selection back.
QString fit(const QString &selection, const QString &corrected);

} // namespace SelectionFit
