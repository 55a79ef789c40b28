#include "settings/SecretText.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

QString SecretText::replaced(const QString &secret, int from, int to, const QString &inserted)
{
    const qsizetype size = secret.size();
    const qsizetype a = std::clamp<qsizetype>(std::min(from, to), 0, size);
    const qsizetype b = std::clamp<qsizetype>(std::max(from, to), 0, size);
    return secret.left(a) + inserted + secret.mid(b);
}

QString SecretText::reconciled(const QString &secret, const QString &shown, int cursor)
{
    const qsizetype at = std::clamp<qsizetype>(cursor, 0, shown.size());
    // What follows the cursor is the old text's end, untouched.
    const qsizetype kept = std::min(shown.size() - at, secret.size());
    // The new characters run up to the cursor; bullets before them stand for
    // the old text's beginning.
    qsizetype start = at;
    while (start > 0 && shown.at(start - 1) != QChar(kBullet))
        --start;
    const qsizetype before = std::min(start, secret.size() - kept);
    return secret.left(before) + shown.mid(start, at - start) + secret.right(kept);
}

int SecretText::replace(int from, int to, const QString &inserted)
{
    const qsizetype at = std::clamp<qsizetype>(std::min(from, to), 0, secret_.size());
    set(replaced(secret_, from, to, inserted));
    return int(at + inserted.size());
}

int SecretText::paste(int from, int to, bool selection)
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const QClipboard::Mode mode = selection && clipboard->supportsSelection() ? QClipboard::Selection : QClipboard::Clipboard;
    return replace(from, to, clipboard->text(mode));
}

void SecretText::clear()
{
    set(QString());
}

void SecretText::reconcile(const QString &shown, int cursor)
{
    set(reconciled(secret_, shown, cursor));
}

void SecretText::set(QString secret)
{
    if (secret == secret_)
        return;
    secret_ = std::move(secret);
    Q_EMIT changed();
}
