#include "text/VoiceCommand.h"

namespace VoiceCommand {

QString systemPrompt()
{
    return QStringLiteral("Tu modifies un texte selon l'instruction de l'utilisateur (par exemple : rends-le plus poli, "
                          "traduis en anglais,\nrésume, mets en liste, corrige les fautes, ajoute une conclusion). "
                          "Applique exactement l'instruction.\nRenvoie uniquement le nouveau texte, sans guillemets ni "
                          "commentaire.");
}

QString userMessage(const QString &instruction, const QString &text)
{
    return QStringLiteral("Instruction : ") + instruction + QStringLiteral("\n\nTexte :\n") + text;
}

} // namespace VoiceCommand
