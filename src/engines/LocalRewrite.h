#pragma once

#include "engines/EngineError.h"

#include <QJsonObject>
#include <QString>
#include <QCoroTask>

// The on-device language model: a local OpenAI-compatible chat server on loopback
// (OMBRY_LOCAL_LLM_URL, model OMBRY_LOCAL_LLM_MODEL or the first the server lists).
// Every call checks afresh that the server answers; nothing is remembered.
namespace LocalRewrite {

// Whether the local server lists a model within 500 ms.
QCoro::Task<bool> isAvailable();

// Sends `system` as the instructions and `text` as the user's message; returns the
// answer trimmed of white space and line breaks. Throws unavailable() at once when
// no server answers, EngineError for a refused request, NetworkError, DecodingError.
QCoro::Task<QString> run(QString system, QString text);

// The same with a reply constrained to the JSON `schema` (named `name`); returns
// the answer parsed as a JSON object, DecodingError when it is none.
QCoro::Task<QJsonObject> runStructured(QString system, QString text, QString name, QJsonObject schema);

// "Modèle local : erreur 0 non disponible sur cet ordinateur (serveur local requis)"
EngineError unavailable();
bool isUnavailable(const EngineError &error);

} // namespace LocalRewrite
