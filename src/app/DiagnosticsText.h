#pragma once

#include <QString>

#include <QCoroTask>

// The text diagnostic switches: each prints its result lines to standard output
// ("erreur: " and the description on failure) and returns; it never throws.
namespace DiagnosticsText {

// "--command": the voice command applied to the text.
QCoro::Task<void> command(QString instruction, QString text);
// "--translate": into English, reversed for an English text.
QCoro::Task<void> translate(QString text);
// "--correct": correction, explanations and a formal rewrite, in French.
QCoro::Task<void> correct(QString text);

} // namespace DiagnosticsText
