#include "engines/EngineError.h"

#include "model/TextUtil.h"

#include <QStringDecoder>

const char *EngineFailure::what() const noexcept
{
    return utf8_.constData();
}

void EngineFailure::setText(const QString &text)
{
    utf8_ = text.toUtf8();
}

EngineError::EngineError(Kind kind, const QString &service, int status, const QString &body)
    : kind_(kind), service_(service), status_(status), body_(body)
{
    setText(description());
}

EngineError EngineError::missingKey(const QString &service)
{
    return EngineError(Kind::MissingKey, service, 0, QString());
}

EngineError EngineError::http(const QString &service, int status, const QString &body)
{
    return EngineError(Kind::Http, service, status, body);
}

QString EngineError::description() const
{
    if (kind_ == Kind::MissingKey)
        return QStringLiteral("Clé ") + service_ + QStringLiteral(" absente");
    return service_ + QStringLiteral(" : erreur ") + QString::number(status_) + QLatin1Char(' ')
        + TextUtil::firstCharacters(body_, 200);
}

NetworkError::NetworkError(Reason reason, int code) : reason_(reason), code_(code)
{
    setText(description());
}

QString NetworkError::description() const
{
    switch (reason_) {
    case Reason::Offline:
        return QStringLiteral("Pas de connexion au réseau");
    case Reason::Unreachable:
        return QStringLiteral("Le service est injoignable");
    case Reason::TimedOut:
        return QStringLiteral("Le service ne répond pas");
    case Reason::Secure:
        return QStringLiteral("Connexion sécurisée impossible");
    case Reason::Cancelled:
        return QStringLiteral("Requête annulée");
    case Reason::TooLarge:
        return QStringLiteral("Réponse trop volumineuse, abandonnée");
    case Reason::Other:
        break;
    }
    return QStringLiteral("Erreur de réseau");
}

DecodingError::DecodingError(const QString &service) : service_(service)
{
    setText(description());
}

QString DecodingError::description() const
{
    return service_ + QStringLiteral(" : réponse illisible");
}

TooLongError::TooLongError(const QString &service) : service_(service)
{
    setText(description());
}

QString TooLongError::description() const
{
    return service_ + QStringLiteral(" : réponse trop longue, ignorée");
}

QString bounded(QString text, const QString &service)
{
    if (text.size() > kMaxAnswerCharacters)
        throw TooLongError(service);
    return text;
}

QString utf8OrEmpty(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString();
    return text;
}

QString describe(const std::exception &error)
{
    if (const auto *failure = dynamic_cast<const EngineFailure *>(&error))
        return failure->description();
    return QString::fromUtf8(error.what());
}
