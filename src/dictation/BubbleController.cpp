#include "dictation/BubbleController.h"

#include "app/Application.h"

#include "model/TextUtil.h"
#include "model/Log.h"

#include <QCoreApplication>

BubbleController *BubbleController::shared()
{
    return Application::root().bubble();
}

void BubbleController::show(const QString &title, const QString &original, const QString &text)
{
    close();
    last_ = {title, original, text};
    requests_.append(last_);
    visible_ = true;
    Log::write(QStringLiteral("bulle: ") + title + QStringLiteral(" (")
               + QString::number(TextUtil::characterCount(text)) + QStringLiteral(" caractères)"));
    Q_EMIT shown(title, original, text);
    Q_EMIT visibleChanged();
}

void BubbleController::close()
{
    if (!visible_)
        return;
    visible_ = false;
    Q_EMIT visibleChanged();
}
