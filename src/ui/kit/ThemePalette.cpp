#include "ui/kit/ThemePalette.h"

#include "model/AppSettings.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

void ThemePalette::apply(Ombry::Theme theme)
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    app->setProperty("ombryDark", theme == Ombry::Theme::Dark);
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app->setStyle(fusion);
    QPalette palette;
    if (theme == Ombry::Theme::Dark) {
        palette.setColor(QPalette::Window, QColor(0x1e, 0x1f, 0x22));
        palette.setColor(QPalette::WindowText, QColor(0xec, 0xec, 0xee));
        palette.setColor(QPalette::Base, QColor(0x26, 0x27, 0x2b));
        palette.setColor(QPalette::AlternateBase, QColor(0x2d, 0x2e, 0x33));
        palette.setColor(QPalette::Text, QColor(0xec, 0xec, 0xee));
        palette.setColor(QPalette::Button, QColor(0x2d, 0x2e, 0x33));
        palette.setColor(QPalette::ButtonText, QColor(0xec, 0xec, 0xee));
        palette.setColor(QPalette::ToolTipBase, QColor(0x2d, 0x2e, 0x33));
        palette.setColor(QPalette::ToolTipText, QColor(0xec, 0xec, 0xee));
        palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8b, 0x90));
    } else {
        palette = app->style()->standardPalette();
    }
    palette.setColor(QPalette::Highlight, QColor::fromRgbF(0, 0.7216f, 0.6627f));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    app->setPalette(palette);
}

void ThemePalette::follow(AppSettings *settings)
{
    apply(settings->theme());
    QObject::connect(settings, &AppSettings::themeChanged, settings, [settings] { apply(settings->theme()); });
}
