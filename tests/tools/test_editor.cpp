// A small window for end-to-end tests: an editable text area whose content is
// written to a file on every change, and a read-only, selectable label.
// Usage: test_editor OUTPUT_FILE [INITIAL_TEXT [LABEL_TEXT]]
// Commands, one per line on standard input:
//   focus-editor | focus-label | select-editor | select-label | activate
//   focus-password (a password field holding "secret")
//   set <text>   (replaces the editor's text, cursor at the end)
//   clip <text>  (owns the clipboard with <text>, a PNG image and a private type)
// Each command answers "ok <command>" on standard output; "ready" comes first.
#include <QApplication>
#include <QFile>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("test_editor"));
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: test_editor OUTPUT_FILE [INITIAL_TEXT [LABEL_TEXT]]\n");
        return 2;
    }
    const QString output = args.at(1);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Éditeur de test"));
    auto *layout = new QVBoxLayout(&window);
    auto *editor = new QPlainTextEdit(&window);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setAccessibleName(QStringLiteral("éditeur"));
    auto *label = new QLabel(args.size() > 3 ? args.at(3) : QStringLiteral("Texte en lecture seule."), &window);
    label->setObjectName(QStringLiteral("label"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    auto *password = new QLineEdit(QStringLiteral("secret"), &window);
    password->setObjectName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    layout->addWidget(editor);
    layout->addWidget(label);
    layout->addWidget(password);

    const auto save = [editor, output] {
        QSaveFile file(output);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(editor->toPlainText().toUtf8());
            file.commit();
        }
    };
    QObject::connect(editor, &QPlainTextEdit::textChanged, &app, save);
    if (args.size() > 2)
        editor->setPlainText(args.at(2));
    save();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray buffer;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        buffer.append(chunk, n);
        qsizetype end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(buffer.left(end));
            buffer.remove(0, end + 1);
            const QString command = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            window.activateWindow();
            window.raise();
            if (command == QLatin1String("focus-editor")) {
                editor->setFocus(Qt::OtherFocusReason);
            } else if (command == QLatin1String("focus-label")) {
                label->setFocus(Qt::OtherFocusReason);
            } else if (command == QLatin1String("select-editor")) {
                editor->setFocus(Qt::OtherFocusReason);
                editor->selectAll();
            } else if (command == QLatin1String("select-label")) {
                label->setFocus(Qt::OtherFocusReason);
                label->setSelection(0, int(label->text().size()));
            } else if (command == QLatin1String("focus-password")) {
                password->setFocus(Qt::OtherFocusReason);
                password->selectAll();
            } else if (command == QLatin1String("clip")) {
                QImage image(4, 3, QImage::Format_RGB32);
                image.fill(Qt::red);
                QByteArray png;
                QBuffer sink(&png);
                sink.open(QIODevice::WriteOnly);
                image.save(&sink, "PNG");
                auto *mime = new QMimeData;
                mime->setText(rest);
                mime->setData(QStringLiteral("image/png"), png);
                mime->setData(QStringLiteral("application/x-ombry-test"), "privé\x01\x02");
                QGuiApplication::clipboard()->setMimeData(mime);
            } else if (command == QLatin1String("set")) {
                editor->setPlainText(rest);
                editor->moveCursor(QTextCursor::End);
                editor->setFocus(Qt::OtherFocusReason);
            } else if (command != QLatin1String("activate")) {
                say("unknown " + command.toUtf8());
                continue;
            }
            say("ok " + command.toUtf8());
        }
    });

    window.resize(520, 320);
    window.show();
    window.activateWindow();
    window.raise();
    editor->setFocus(Qt::OtherFocusReason);
    QTimer::singleShot(0, &app, [] { say("ready"); });
    return app.exec();
}
