#include "ui/kit/Kit.h"

#include "ui/kit/AppIcons.h"

#include "model/AppSettings.h"
#include "model/DeviceProfile.h"
#include "platform/FloatingPanel.h"

#include <QHash>
#include <QLocale>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

bool gGlassOff = false;

// Tells every Kit instance that the switch moved.
class GlassOffNotifier : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void changed();
};

GlassOffNotifier &notifier()
{
    static GlassOffNotifier n;
    return n;
}

// Symbol names of the program's vocabulary → glyphs of the Material Icons font.
const QHash<QString, char16_t> &symbolTable()
{
    static const QHash<QString, char16_t> table = {
        {QStringLiteral("accessibility"), 0xe84e},
        {QStringLiteral("app.badge"), 0xe5c3},
        {QStringLiteral("apple.intelligence"), 0xe65f},
        {QStringLiteral("arrow.down.circle.fill"), 0xf181},
        {QStringLiteral("arrow.left.arrow.right"), 0xe8d4},
        {QStringLiteral("arrow.right"), 0xe5c8},
        {QStringLiteral("arrow.uturn.down"), 0xe15a},
        {QStringLiteral("arrow.uturn.up"), 0xe166},
        {QStringLiteral("book.closed"), 0xea19},
        {QStringLiteral("captions.bubble"), 0xe048},
        {QStringLiteral("captions.bubble.fill"), 0xe048},
        {QStringLiteral("character.bubble"), 0xe8e2},
        {QStringLiteral("chart.bar.xaxis"), 0xe26b},
        {QStringLiteral("checkmark"), 0xe5ca},
        {QStringLiteral("checkmark.circle"), 0xe92d},
        {QStringLiteral("checkmark.circle.fill"), 0xe86c},
        {QStringLiteral("checkmark.seal"), 0xef76},
        {QStringLiteral("checkmark.seal.fill"), 0xef76},
        {QStringLiteral("circle"), 0xe836},
        {QStringLiteral("circle.lefthalf.filled"), 0xe3ab},
        {QStringLiteral("chevron.up.chevron.down"), 0xe5d7},
        {QStringLiteral("clock"), 0xe8b5},
        {QStringLiteral("command"), 0xeae7},
        {QStringLiteral("creditcard.fill"), 0xe870},
        {QStringLiteral("desktopcomputer"), 0xe30c},
        {QStringLiteral("doc.on.clipboard"), 0xe14f},
        {QStringLiteral("doc.on.doc"), 0xe14d},
        {QStringLiteral("doc.text"), 0xe873},
        {QStringLiteral("ellipsis.circle"), 0xe5d3},
        {QStringLiteral("envelope"), 0xe158},
        {QStringLiteral("eurosign"), 0xea15},
        {QStringLiteral("exclamationmark.circle"), 0xe001},
        {QStringLiteral("exclamationmark.circle.fill"), 0xe000},
        {QStringLiteral("exclamationmark.triangle"), 0xe002},
        {QStringLiteral("face.smiling"), 0xe813},
        {QStringLiteral("flame.fill"), 0xef55},
        {QStringLiteral("gearshape"), 0xe8b8},
        {QStringLiteral("globe"), 0xe80b},
        {QStringLiteral("hourglass"), 0xe88b},
        {QStringLiteral("internaldrive"), 0xe1db},
        {QStringLiteral("key"), 0xe0da},
        {QStringLiteral("keyboard"), 0xe312},
        {QStringLiteral("laptopcomputer"), 0xe31e},
        {QStringLiteral("lightbulb"), 0xe0f0},
        {QStringLiteral("lock.shield"), 0xe9e0},
        {QStringLiteral("macwindow"), 0xe069},
        {QStringLiteral("macwindow.on.rectangle"), 0xe051},
        {QStringLiteral("magnifyingglass"), 0xe8b6},
        {QStringLiteral("mic"), 0xe029},
        {QStringLiteral("person.2.wave.2"), 0xf233},
        {QStringLiteral("person.crop.circle"), 0xe853},
        {QStringLiteral("play.fill"), 0xe037},
        {QStringLiteral("plus"), 0xe145},
        {QStringLiteral("power"), 0xe8ac},
        {QStringLiteral("record.circle"), 0xe837},
        {QStringLiteral("scissors"), 0xe14e},
        {QStringLiteral("shift"), 0xeacf},
        {QStringLiteral("slider.horizontal.3"), 0xe429},
        {QStringLiteral("slider.horizontal.below.rectangle"), 0xe429},
        {QStringLiteral("sparkles"), 0xe65f},
        {QStringLiteral("speaker.wave.2"), 0xe050},
        {QStringLiteral("speaker.wave.3"), 0xe050},
        {QStringLiteral("speedometer"), 0xe9e4},
        {QStringLiteral("square.grid.2x2"), 0xe871},
        {QStringLiteral("stop.fill"), 0xe047},
        {QStringLiteral("sun.max"), 0xe518},
        {QStringLiteral("text.alignleft"), 0xe236},
        {QStringLiteral("text.bubble"), 0xe0ca},
        {QStringLiteral("text.magnifyingglass"), 0xe880},
        {QStringLiteral("text.word.spacing"), 0xe256},
        {QStringLiteral("textformat"), 0xe262},
        {QStringLiteral("theatermasks"), 0xea66},
        {QStringLiteral("trash"), 0xe872},
        {QStringLiteral("wand.and.stars"), 0xe663},
        {QStringLiteral("waveform"), 0xe1b8},
        {QStringLiteral("waveform.circle.fill"), 0xe1b8},
        {QStringLiteral("xmark"), 0xe5cd},
        {QStringLiteral("xmark.circle"), 0xe888},
        {QStringLiteral("xmark.circle.fill"), 0xe5c9},
        {QStringLiteral("briefcase"), 0xe8f9},
    };
    return table;
}

} // namespace

namespace GlassOff {

bool on()
{
    return gGlassOff;
}

void setOn(bool value)
{
    if (gGlassOff == value)
        return;
    gGlassOff = value;
    Q_EMIT notifier().changed();
}

} // namespace GlassOff

Kit::Kit(AppSettings *settings, QObject *parent) : QObject(parent), settings_(settings)
{
    lightVisuals_ = DeviceProfile::lightVisuals(mode());
    connect(&notifier(), &GlassOffNotifier::changed, this, [this] {
        Q_EMIT glassOffChanged();
        Q_EMIT plainChanged();
    });
    if (settings_)
        connect(settings_, &AppSettings::performanceModeChanged, this, &Kit::refresh);
}

PerformanceMode Kit::mode() const
{
    return settings_ ? settings_->performanceMode() : PerformanceMode::Auto;
}

bool Kit::composited()
{
    return FloatingPanel::compositing();
}

bool Kit::glassOff() const
{
    return GlassOff::on();
}

void Kit::refresh()
{
    const bool light = DeviceProfile::lightVisuals(mode());
    if (light == lightVisuals_)
        return;
    const bool wasPlain = plain();
    lightVisuals_ = light;
    Q_EMIT lightVisualsChanged();
    if (wasPlain != plain())
        Q_EMIT plainChanged();
}

QString Kit::glyph(const QString &name)
{
    const auto it = symbolTable().constFind(name);
    return it == symbolTable().constEnd() ? QString() : QString(QChar(*it));
}

QStringList Kit::symbolNames()
{
    QStringList names = symbolTable().keys();
    names.sort();
    return names;
}

QString Kit::formatNumber(qint64 value)
{
    static const QLocale french(QLocale::French, QLocale::France);
    const QString text = french.toString(value);
    return text.isEmpty() ? QString::number(value) : text;
}

QString Kit::formatDecimal(double value, int decimals)
{
    static const QLocale french(QLocale::French, QLocale::France);
    return french.toString(value, 'f', decimals);
}

QColor Kit::over(const QColor &top, const QColor &bottom)
{
    const float a = top.alphaF();
    return QColor::fromRgbF(a * top.redF() + (1 - a) * bottom.redF(), a * top.greenF() + (1 - a) * bottom.greenF(),
                            a * top.blueF() + (1 - a) * bottom.blueF());
}

double Kit::contrast(const QColor &text, const QColor &background, const QColor &under)
{
    // Relative luminance of sRGB, as the accessibility guidelines define it.
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const QColor back = over(background, over(under, Qt::white));
    const double a = luminance(over(text, back));
    const double b = luminance(back);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool Kit::hasAppIcon(const QString &key)
{
    return !key.isEmpty() && AppIcons::icon(key).has_value();
}

QString Kit::appIconSource(const QString &key)
{
    if (key.isEmpty())
        return QString();
    return QStringLiteral("image://appicon/") + QString::fromLatin1(QUrl::toPercentEncoding(key));
}

#include "Kit.moc"
