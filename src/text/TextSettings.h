#pragma once

#include "model/SettingsTypes.h"

#include <QString>

class AppSettings;

// What the text services follow of the user's settings, copied when a request
// starts: the request then holds no pointer to the settings across its awaits.
struct TextSettings
{
    Language language{};
    bool useLanguageTool = false;
    CorrectionScope correctionScope;
    PunctuationLevel punctuation{};
    RewriteEngine rewriteEngine{};
    bool correctorUsesLocalModel = false;
    QString openRouterModel;

    static TextSettings of(const AppSettings &settings);
};
