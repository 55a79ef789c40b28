#pragma once

#include "tools/test_editor_client.h"

#include <QString>

// The PRIMARY and CLIPBOARD selections held by another client, as the user's
// own copies are when a dictation is pasted. Needs a QGuiApplication.
namespace ForeignSelection {

// PRIMARY as another client reads it.
DesktopTools::Result readPrimary();

// Hands PRIMARY, or CLIPBOARD, to a separate xclip process serving `text`; true
// once that process owns it (this one no longer does and the text reads back).
bool seedPrimary(const QString &text);
bool seedClipboard(const QString &text);

} // namespace ForeignSelection
