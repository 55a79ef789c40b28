#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Accessible text as browsers and office applications expose it: each embedded
// element (paragraph, link, list) stands in its parent's text as one object
// replacement character, U+FFFC, and holds its own text. Reading a selection
// means putting the elements' text back in place of those characters.
namespace EmbeddedText {

inline constexpr char16_t kObject = u'\uFFFC';

// A character range [start, end) in an accessible's text.
struct Range
{
    int start = 0;
    int end = 0;
};

// One accessible with a text, as the resolution asks about it.
class Node
{
public:
    virtual ~Node() = default;
    // Its text from `start` to `end` (characters); none when it has no text.
    virtual std::optional<QString> text(int start, int end) = 0;
    virtual int characterCount() = 0;
    virtual QList<Range> selections() = 0;
    // A paragraph, heading, list item and the like: set apart by line breaks.
    virtual bool isBlock() = 0;
    // The element that the object character at `offset` stands for; null when
    // it cannot be found.
    virtual std::unique_ptr<Node> embedded(int offset) = 0;
};

// The text of `range` of `node`, each object character replaced by the text
// of the element it stands for (only its selected part when that element says
// what of it is selected). An element without text (an image) gives nothing;
// none when an element cannot be found or the tree is deeper or larger than
// any page needs.
std::optional<QString> resolve(Node &node, Range range);

// The selected text of `node` (empty when nothing is selected), resolved as
// above; none when it cannot be read as text.
std::optional<QString> selectedText(Node &node);

} // namespace EmbeddedText
