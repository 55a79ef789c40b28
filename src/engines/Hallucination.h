#pragma once

#include <QString>

// Recognises the sentences an audio model writes about the recording instead of
// transcribing it, and removes them.
namespace Hallucination {

bool isFake(const QString &text);
QString clean(const QString &text);

} // namespace Hallucination
