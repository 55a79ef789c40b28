#include "text/TextSettings.h"

#include "model/AppSettings.h"

TextSettings TextSettings::of(const AppSettings &settings)
{
    TextSettings values;
    values.language = settings.language();
    values.useLanguageTool = settings.useLanguageTool();
    values.correctionScope = settings.correctionScope();
    values.punctuation = settings.punctuation();
    values.rewriteEngine = settings.rewriteEngine();
    values.correctorUsesLocalModel = settings.correctorUsesLocalModel();
    values.openRouterModel = settings.openRouterModel();
    return values;
}
