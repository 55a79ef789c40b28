#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The register the rewrite should write in for the application receiving the text.
namespace Tone {

// "C'est un message de discussion : …" for chat applications, "C'est un e-mail ou
// un document : …" for mail and document applications, "" otherwise or when tone
// adaptation (the setting) is off. Identifiers compare exactly; a Linux
// desktop-file id may carry its ".desktop" suffix.
QString hint(bool adaptTone, const std::optional<QString> &bundleIdentifier);

// The application lists: the macOS identifiers first, then the Linux desktop ids
// of the same applications.
const QStringList &chatApplications();
const QStringList &mailApplications();

} // namespace Tone
