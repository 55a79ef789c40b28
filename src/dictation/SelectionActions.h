#pragma once

#include "dictation/DictationData.h"

#include <QString>
#include <qcoro/qcorotask.h>

class BubbleController;
class Paster;
class Reader;

// What the selection actions need of the controller.
class SelectionHost
{
public:
    virtual ~SelectionHost() = default;
    virtual bool isIdle() const = 0;
    virtual bool isCorrecting() const = 0;
    // translating = translate, then state correcting.
    virtual void beginCorrecting(bool translate) = 0;
    virtual void setIdle() = 0;
    virtual void fail(const QString &message) = 0;
    virtual void show(const QString &message) = 0;
    virtual bool trusted() const = 0;
    // Where the texts are pasted and the selection copied.
    virtual Paster *paster() const = 0;
    // The settings, history and keys the actions read and write.
    virtual DictationData data() const = 0;
    // Who reads aloud, and where a result that cannot be pasted is shown.
    virtual Reader *reader() const = 0;
    virtual BubbleController *bubble() const = 0;
};

// Acting on the text selected in any application: correct, translate, read
// aloud, and pasting the last dictation again.
namespace SelectionActions {

// Ctrl+Alt+V: only when idle and the history holds a dictation.
void pasteLast(SelectionHost *host);
// The correction shortcut, Ctrl+C twice (correct) or three times (translate).
void correctSelection(SelectionHost *host, bool alreadyCopied, bool translate);
// Ctrl+Alt+R: reads the selection aloud, or stops the reading under way.
void speakSelection(SelectionHost *host);

// The task bodies, for callers that await them.
QCoro::Task<> runPasteLast(SelectionHost *host, QString text);
QCoro::Task<> runCorrection(SelectionHost *host, bool alreadyCopied, bool translate);
QCoro::Task<> runSpeak(SelectionHost *host);

// The bubble title's language: the target, or the other way when the text was
// already in the target language.
QString bubbleLanguage(const QString &text, const QString &target);

} // namespace SelectionActions
