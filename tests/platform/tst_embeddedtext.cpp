#include "platform/EmbeddedText.h"

#include <QTest>

namespace {

using EmbeddedText::Range;

// An accessible of a page: '#' in `text` stands for the object character of
// the next child.
struct Fake
{
    QString text;
    QList<Range> selected;
    bool block = false;
    bool hasText = true;
    QList<Fake> children;
};

class FakeNode final : public EmbeddedText::Node
{
public:
    explicit FakeNode(Fake fake) : fake_(std::move(fake)) { fake_.text.replace(QLatin1Char('#'), QChar(EmbeddedText::kObject)); }
    std::optional<QString> text(int start, int end) override
    {
        if (!fake_.hasText)
            return std::nullopt;
        return fake_.text.mid(start, end - start);
    }
    int characterCount() override { return int(fake_.text.size()); }
    QList<Range> selections() override { return fake_.selected; }
    bool isBlock() override { return fake_.block; }
    std::unique_ptr<EmbeddedText::Node> embedded(int offset) override
    {
        const int index = int(fake_.text.left(offset).count(QChar(EmbeddedText::kObject)));
        if (index >= fake_.children.size())
            return nullptr;
        return std::make_unique<FakeNode>(fake_.children.at(index));
    }

private:
    Fake fake_;
};

Fake paragraph(const QString &text, QList<Range> selected = {}) { return Fake{text, selected, true, true, {}}; }
Fake inlineText(const QString &text, QList<Range> selected = {}) { return Fake{text, selected, false, true, {}}; }

} // namespace

Q_DECLARE_METATYPE(Fake)

class TestEmbeddedText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selection_data()
    {
        QTest::addColumn<Fake>("focused");
        QTest::addColumn<std::optional<QString>>("expected");

        QTest::newRow("plain text, no element") << Fake{QStringLiteral("Hier je suis allé"), {{5, 12}}, false, true, {}}
                                                << std::optional<QString>(QStringLiteral("je suis"));
        QTest::newRow("nothing selected") << Fake{QStringLiteral("texte"), {}, false, true, {}}
                                          << std::optional<QString>(QString());
        QTest::newRow("two whole paragraphs of a page")
            << Fake{QStringLiteral("##"), {{0, 2}}, true, true,
                    {paragraph(QStringLiteral("Premier paragraphe.")), paragraph(QStringLiteral("Second."))}}
            << std::optional<QString>(QStringLiteral("Premier paragraphe.\nSecond."));
        QTest::newRow("paragraphs selected in part report their own part")
            << Fake{QStringLiteral("##"), {{0, 2}}, true, true,
                    {paragraph(QStringLiteral("Premier paragraphe."), {{8, 19}}),
                     paragraph(QStringLiteral("Second texte."), {{0, 6}})}}
            << std::optional<QString>(QStringLiteral("paragraphe.\nSecond"));
        QTest::newRow("a link inside a sentence stays inline")
            << Fake{QStringLiteral("Voir # ici."), {{0, 11}}, false, true, {inlineText(QStringLiteral("la page"))}}
            << std::optional<QString>(QStringLiteral("Voir la page ici."));
        QTest::newRow("a link inside a paragraph inside the document")
            << Fake{QStringLiteral("#"), {{0, 1}}, true, true,
                    {Fake{QStringLiteral("Lire # demain"), {}, true, true, {inlineText(QStringLiteral("ceci"))}}}}
            << std::optional<QString>(QStringLiteral("Lire ceci demain"));
        QTest::newRow("an image without text gives nothing")
            << Fake{QStringLiteral("Logo # fin"), {{0, 10}}, false, true, {Fake{{}, {}, false, false, {}}}}
            << std::optional<QString>(QStringLiteral("Logo  fin"));
        QTest::newRow("an element that cannot be found: not read")
            << Fake{QStringLiteral("##"), {{0, 2}}, true, true, {paragraph(QStringLiteral("Seul."))}}
            << std::optional<QString>();
        QTest::newRow("text after a paragraph starts a line")
            << Fake{QStringLiteral("#suite"), {{0, 6}}, true, true, {paragraph(QStringLiteral("Titre"))}}
            << std::optional<QString>(QStringLiteral("Titre\nsuite"));
    }
    void selection()
    {
        QFETCH(Fake, focused);
        QFETCH(std::optional<QString>, expected);
        FakeNode node(focused);
        const std::optional<QString> text = EmbeddedText::selectedText(node);
        QCOMPARE(text, expected);
        if (text)
            QVERIFY(!text->contains(QChar(EmbeddedText::kObject)));
    }

    // A page whose elements nest without end is given up, never walked for ever.
    void endlessNesting()
    {
        Fake deepest = paragraph(QStringLiteral("fond"));
        for (int i = 0; i < 40; ++i)
            deepest = Fake{QStringLiteral("#"), {}, true, true, {deepest}};
        deepest.selected = {{0, 1}};
        FakeNode node(deepest);
        QCOMPARE(EmbeddedText::selectedText(node), std::optional<QString>());
    }
};

QTEST_APPLESS_MAIN(TestEmbeddedText)
#include "tst_embeddedtext.moc"
