// A window that writes every key it receives to standard output, one line per
// press: "press <key symbol in hex> <X modifier state in hex>", then flushes.
// It prints "ready <window id>" once it is shown and focused.
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <cstdio>

class KeyWindow : public QWidget
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        std::printf("press 0x%x 0x%x\n", event->nativeVirtualKey(), event->nativeModifiers());
        std::fflush(stdout);
    }
    void keyReleaseEvent(QKeyEvent *event) override
    {
        std::printf("release 0x%x 0x%x\n", event->nativeVirtualKey(), event->nativeModifiers());
        std::fflush(stdout);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    KeyWindow window;
    window.setWindowTitle(QStringLiteral("keywindow"));
    window.resize(400, 200);
    window.show();
    window.activateWindow();
    window.raise();
    std::printf("ready 0x%llx\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    return app.exec();
}
