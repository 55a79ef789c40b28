#include "diagnostics/CommandLine.h"
#include "shell/OmbryIcon.h"

#include <QDir>

namespace Diagnostics {

QCoro::Task<> icon(QStringList values, Program)
{
    // Drawn without a display: only QImage and QPainter are needed.
    OmbryIcon::writeIconset(QDir::current().absoluteFilePath(values.value(0)), OmbryIcon::accent(),
                            OmbryIcon::Glyph::Bubble);
    co_return;
}

} // namespace Diagnostics
