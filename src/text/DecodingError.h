#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A service reply that does not have the expected shape.
class DecodingError : public std::exception
{
public:
    explicit DecodingError(QString description) : description_(std::move(description)), utf8_(description_.toUtf8()) {}
    const char *what() const noexcept override { return utf8_.constData(); }
    QString description() const { return description_; }

private:
    QString description_;
    QByteArray utf8_;
};
