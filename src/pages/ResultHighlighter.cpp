#include "pages/ResultHighlighter.h"

#include <QQuickTextDocument>
#include <QTextCharFormat>
#include <QTextDocument>

#include <algorithm>

ResultHighlighter::ResultHighlighter(QObject *parent) : QSyntaxHighlighter(parent) {}

void ResultHighlighter::setTextDocument(QQuickTextDocument *document)
{
    if (document == textDocument_)
        return;
    textDocument_ = document;
    setDocument(document ? document->textDocument() : nullptr);
    Q_EMIT textDocumentChanged();
}

void ResultHighlighter::setRanges(const QList<int> &ranges)
{
    if (ranges == ranges_)
        return;
    ranges_ = ranges;
    rehighlight();
    Q_EMIT rangesChanged();
}

void ResultHighlighter::setBackground(const QColor &colour)
{
    if (colour == background_)
        return;
    background_ = colour;
    rehighlight();
    Q_EMIT formatChanged();
}

void ResultHighlighter::setForeground(const QColor &colour)
{
    if (colour == foreground_)
        return;
    foreground_ = colour;
    rehighlight();
    Q_EMIT formatChanged();
}

void ResultHighlighter::highlightBlock(const QString &text)
{
    const int blockStart = currentBlock().position();
    const int blockEnd = blockStart + int(text.size());
    QTextCharFormat format;
    format.setBackground(background_);
    format.setForeground(foreground_);
    format.setFontWeight(QFont::DemiBold);
    for (qsizetype k = 0; k + 1 < ranges_.size(); k += 2) {
        const int from = std::max(ranges_[k], blockStart);
        const int to = std::min(ranges_[k] + ranges_[k + 1], blockEnd);
        if (from < to)
            setFormat(from - blockStart, to - from, format);
    }
}
