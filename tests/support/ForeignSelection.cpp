#include "support/ForeignSelection.h"

#include <QClipboard>
#include <QGuiApplication>

namespace ForeignSelection {

namespace {

// Nobody owns it any more: a seed of the same text as before cannot pass for
// the new owner.
void release(QClipboard::Mode mode)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("·"), mode);
    QGuiApplication::clipboard()->clear(mode);
}

} // namespace

DesktopTools::Result readPrimary()
{
    return DesktopTools::run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("primary"),
                                                       QStringLiteral("-o"), QStringLiteral("-t"), QStringLiteral("UTF8_STRING")});
}

bool seedPrimary(const QString &text)
{
    release(QClipboard::Selection);
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"),
        QStringLiteral("printf '%s' \"$1\" | xclip -selection primary -i -loops 0 >/dev/null 2>&1"),
        QStringLiteral("sh"), text});
    // Only once it is the owner: the same text served by us must not count.
    return TestEnv::waitFor([&] {
        return !QGuiApplication::clipboard()->ownsSelection() && readPrimary().out == text.toUtf8();
    }, 3000);
}

bool seedClipboard(const QString &text)
{
    release(QClipboard::Clipboard);
    return DesktopTools::seedClipboard(text)
           && TestEnv::waitFor([&] {
                  return !QGuiApplication::clipboard()->ownsClipboard() && DesktopTools::readClipboard().out == text.toUtf8();
              }, 3000);
}

} // namespace ForeignSelection
