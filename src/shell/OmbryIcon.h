#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// The application's icon, drawn by code at any size: a rounded tile in the accent
// colour with a white glyph. The launcher, the window, the tray and the About
// dialog all show this drawing.
namespace OmbryIcon {

enum class Glyph { Bubble, Drop };

// What the bubble holds: the level bars of the icon, or three dots (the tray's
// "working" state).
enum class Marks { Bars, Dots };

// The design kit's accent, sRGB (0, 0.7216, 0.6627).
QColor accent();

// t·a + (1 − t)·b in sRGB, opaque.
QColor mix(const QColor &a, const QColor &b, qreal t);

// The icon at `pixels` × `pixels`, transparent around the tile.
QImage image(int pixels, const QColor &accent, Glyph glyph, Marks marks = Marks::Bars);

// Writes icon_16x16.png … icon_512x512@2x.png (ten files) into `folder`, creating
// it; a file that cannot be written is skipped.
void writeIconset(const QString &folder, const QColor &accent, Glyph glyph);

// The base sizes and scales of an icon set, in writing order, with their names.
struct IconsetFile
{
    QString name;
    int pixels;
};
QList<IconsetFile> iconsetFiles();

// The application icon at the usual window and launcher sizes.
QIcon applicationIcon();

} // namespace OmbryIcon
