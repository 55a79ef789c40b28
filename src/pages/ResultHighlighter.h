#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QSyntaxHighlighter>
#include <QtQml/qqmlregistration.h>

#include <QQuickTextDocument>

// Marks ranges of a read-only TextEdit's plain text with character formats, so that
// a text from outside is shown with emphasis without ever being read as markup.
class ResultHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickTextDocument *textDocument READ textDocument WRITE setTextDocument NOTIFY textDocumentChanged)
    // Pairs of (start, length) in UTF-16 positions of the document's text, flat.
    Q_PROPERTY(QList<int> ranges READ ranges WRITE setRanges NOTIFY rangesChanged)
    Q_PROPERTY(QColor background READ background WRITE setBackground NOTIFY formatChanged)
    Q_PROPERTY(QColor foreground READ foreground WRITE setForeground NOTIFY formatChanged)

public:
    explicit ResultHighlighter(QObject *parent = nullptr);

    QQuickTextDocument *textDocument() const { return textDocument_; }
    void setTextDocument(QQuickTextDocument *document);
    QList<int> ranges() const { return ranges_; }
    void setRanges(const QList<int> &ranges);
    QColor background() const { return background_; }
    void setBackground(const QColor &colour);
    QColor foreground() const { return foreground_; }
    void setForeground(const QColor &colour);

Q_SIGNALS:
    void textDocumentChanged();
    void rangesChanged();
    void formatChanged();

protected:
    void highlightBlock(const QString &text) override;

private:
    QPointer<QQuickTextDocument> textDocument_;
    QList<int> ranges_;
    QColor background_;
    QColor foreground_;
};
