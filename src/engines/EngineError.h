#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every failure the engines throw. description() is the French text shown
// to the user; what() is the same text in UTF-8, so a caller that catches
// std::exception can show any failure with QString::fromUtf8(e.what()).
class EngineFailure : public std::exception
{
public:
    virtual QString description() const = 0;
    const char *what() const noexcept override;

protected:
    void setText(const QString &text);

private:
    QByteArray utf8_;
};

// The engines' error for a missing key or a refused HTTP request.
class EngineError : public EngineFailure
{
public:
    enum class Kind { MissingKey, Http };

    // "Clé " + service + " absente"
    static EngineError missingKey(const QString &service);
    // service + " : erreur " + status + " " + the first 200 characters of body.
    // status is 0 when the reply was not an HTTP reply.
    static EngineError http(const QString &service, int status, const QString &body);

    Kind kind() const { return kind_; }
    QString service() const { return service_; }
    int status() const { return status_; }
    QString body() const { return body_; }
    QString description() const override;

private:
    EngineError(Kind kind, const QString &service, int status, const QString &body);

    Kind kind_;
    QString service_;
    int status_ = 0;
    QString body_;
};

// The request never got an answer: no network, refused, timed out, cancelled.
// Carries a French text instead of the network stack's English one.
class NetworkError : public EngineFailure
{
public:
    enum class Reason { Offline, Unreachable, TimedOut, Secure, Cancelled, TooLarge, Other };

    NetworkError(Reason reason, int code = 0);

    Reason reason() const { return reason_; }
    // The QNetworkReply::NetworkError behind it (0 for our own time-outs).
    int code() const { return code_; }
    QString description() const override;

private:
    Reason reason_;
    int code_;
};

// A reply that arrived but does not have the expected shape.
class DecodingError : public EngineFailure
{
public:
    explicit DecodingError(const QString &service);
    QString service() const { return service_; }
    QString description() const override;

private:
    QString service_;
};

// A text longer than the program takes from a model or a speech service.
class TooLongError : public EngineFailure
{
public:
    explicit TooLongError(const QString &service);
    QString service() const { return service_; }
    QString description() const override;

private:
    QString service_;
};

// The longest text taken from a model or a speech service (a dictation, a
// rewrite, a transcript): about three hours of speech.
inline constexpr qsizetype kMaxAnswerCharacters = 100000;

// `text` when it is within kMaxAnswerCharacters; throws TooLongError for
// `service` past it.
QString bounded(QString text, const QString &service);

// Body text of a reply: its bytes as UTF-8, or "" when they are not valid UTF-8.
QString utf8OrEmpty(const QByteArray &bytes);

// The French text of any exception: description() for the engines' failures,
// what() decoded as UTF-8 for others.
QString describe(const std::exception &error);
