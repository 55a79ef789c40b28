#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

// Live partial text of the audio being captured. No on-device streaming
// recogniser is available here, so every operation does nothing and onText is
// never called; the owners keep working without a preview.
class LivePreview
{
public:
    // False here: the settings show the option as unavailable rather than on and silent.
    static constexpr bool available = false;

    std::function<void(const QString &)> onText = [](const QString &) {};

    void start(const QString &language, bool longForm, bool download);
    void feed(QByteArrayView pcm);
    void stop();
};
