#pragma once

#include <QString>

#include <stdexcept>

// A recorder could not start. `domain` is "OmbryVoice" (code 1: the capture
// format could not be set up) or "pulse" (code: the sound server's error number).
class AudioError : public std::runtime_error
{
public:
    AudioError(const QString &domain, int code, const QString &description)
        : std::runtime_error(description.toStdString()), domain_(domain), code_(code), description_(description)
    {
    }
    QString domain() const { return domain_; }
    int code() const { return code_; }
    QString description() const { return description_; }

private:
    QString domain_;
    int code_;
    QString description_;
};
