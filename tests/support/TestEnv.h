#pragma once

#include "app/Application.h"
#include "app/DataLayer.h"
#include "core/Installed.h"

#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace TestEnv {

// Points HOME and every XDG_* folder at a fresh temporary folder, and every cloud
// and local service address at a closed port on 127.0.0.1, so that a test never
// touches the real home or the network. Called by the test mains below before
// the application object exists; safe to call again for a fresh home.
void isolate();

// The temporary home of this process.
QString home();

// Spins the event loop until `done` holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000);

// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

// The program's "--snapshot FOLDER" run in `home`, in the theme that MUREL_THEME
// asks for (none: the stored setting): its exit code (-1 when it did not end
// within 30 s, -2 after a crash) and what it printed.
struct SnapshotRun
{
    int exitCode = -1;
    QString out;
};
SnapshotRun snapshot(const QString &folder, const std::optional<QString> &theme, const QString &home);

// The program's own objects as the test's main built them: the data of
// StandardData, or everything of the Application of a test of the wiring; null
// for what it did not build.
template <class T>
T *own()
{
    return Installed<T>::current();
}
inline AppSettings *settings() { return own<AppSettings>(); }
inline Store *store() { return own<Store>(); }
inline KeyStore *keys() { return own<KeyStore>(); }

} // namespace TestEnv

// The program's settings, store and keys on the isolated home, installed as the
// program's own: what a test that builds no Application reads through them.
// Engines read ready whatever the keys.
struct StandardData : DataLayer
{
    StandardData() : DataLayer(DataLayer::Readiness::AlwaysReady) {}
};

// A fresh home for one scope: the previous variables come back at its end.
class ScopedHome
{
public:
    ScopedHome();
    ~ScopedHome();
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QList<QPair<QByteArray, QByteArray>> saved_;
};

#define OMBRY_TEST_MAIN_WITH(TestObject, AppClass, Data)                                    \
    int main(int argc, char *argv[])                                                        \
    {                                                                                       \
        TestEnv::isolate();                                                                 \
        AppClass app(argc, argv);                                                           \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                            \
        [[maybe_unused]] Data data;                                                         \
        TestObject tc;                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                          \
        return QTest::qExec(&tc, argc, argv);                                               \
    }
#define OMBRY_TEST_MAIN_IMPL(TestObject, AppClass) OMBRY_TEST_MAIN_WITH(TestObject, AppClass, StandardData)

// Test mains with an isolated home and the program's data: core-only and with a
// GUI application object.
#define OMBRY_TEST_MAIN(TestObject) OMBRY_TEST_MAIN_IMPL(TestObject, QCoreApplication)
#define OMBRY_TEST_GUI_MAIN(TestObject) OMBRY_TEST_MAIN_IMPL(TestObject, QApplication)
// For a test that builds the Application itself, which brings its own data.
struct NoData
{
};
#define OMBRY_TEST_APP_MAIN(TestObject) OMBRY_TEST_MAIN_WITH(TestObject, QApplication, NoData)
// For a test of the program's own wiring: the main builds the Application.
#define OMBRY_TEST_ROOT_MAIN(TestObject) OMBRY_TEST_MAIN_WITH(TestObject, QApplication, Application)
