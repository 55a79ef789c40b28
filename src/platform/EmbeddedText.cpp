#include "platform/EmbeddedText.h"

namespace EmbeddedText {
namespace {

constexpr int kMaxDepth = 24;

struct Walk
{
    int budget = 2000; // elements visited at most
};

void appendBlock(QString &out, const QString &block)
{
    if (!out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
        out += QLatin1Char('\n');
    out += block;
}

std::optional<QString> resolveIn(Node &node, Range range, int depth, Walk &walk);

// What the element behind one object character contributes.
std::optional<QString> element(Node &child, int depth, Walk &walk)
{
    const QList<Range> selected = child.selections();
    QList<Range> ranges = selected;
    if (ranges.isEmpty())
        ranges.append(Range{0, child.characterCount()});
    QString out;
    for (const Range &range : ranges) {
        const std::optional<QString> part = resolveIn(child, range, depth + 1, walk);
        if (!part)
            return std::nullopt;
        out += *part;
    }
    return out;
}

std::optional<QString> resolveIn(Node &node, Range range, int depth, Walk &walk)
{
    if (depth > kMaxDepth || --walk.budget < 0)
        return std::nullopt;
    const std::optional<QString> raw = node.text(range.start, range.end);
    if (!raw)
        return QString(); // an element without text (an image) shows no text either
    if (!raw->contains(kObject))
        return raw;
    QString out;
    bool breakBefore = false; // the previous piece was a block
    int offset = range.start;
    // Offsets count characters (code points), the string UTF-16 units.
    for (qsizetype i = 0; i < raw->size(); ++i, ++offset) {
        const QChar c = raw->at(i);
        if (c != QChar(kObject)) {
            if (breakBefore && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')) && c != QLatin1Char('\n'))
                out += QLatin1Char('\n');
            breakBefore = false;
            out += c;
            if (c.isHighSurrogate() && i + 1 < raw->size() && raw->at(i + 1).isLowSurrogate())
                out += raw->at(++i);
            continue;
        }
        std::unique_ptr<Node> child = node.embedded(offset);
        if (!child)
            return std::nullopt;
        const std::optional<QString> text = element(*child, depth, walk);
        if (!text)
            return std::nullopt;
        if (text->isEmpty())
            continue;
        if (child->isBlock()) {
            appendBlock(out, *text);
            breakBefore = true;
        } else {
            if (breakBefore && !out.isEmpty() && !out.endsWith(QLatin1Char('\n')))
                out += QLatin1Char('\n');
            breakBefore = false;
            out += *text;
        }
    }
    return out;
}

} // namespace

std::optional<QString> resolve(Node &node, Range range)
{
    Walk walk;
    std::optional<QString> text = resolveIn(node, range, 0, walk);
    // Whatever still stands for an element was not read.
    if (text && text->contains(kObject))
        return std::nullopt;
    return text;
}

std::optional<QString> selectedText(Node &node)
{
    QString joined;
    for (const Range &range : node.selections()) {
        const std::optional<QString> part = resolve(node, range);
        if (!part)
            return std::nullopt;
        joined += *part;
    }
    return joined;
}

} // namespace EmbeddedText
