#pragma once
// Drives the test editor (tests/tools/test_editor.cpp) from a test, and runs the
// desktop's command-line tools without blocking this process's event loop (it may
// own the clipboard that the tool reads).

#include "support/TestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace DesktopTools {

struct Result
{
    int exitCode = -1;
    QByteArray out;
};

inline Result run(const QString &program, const QStringList &args, const QByteArray &input = {},
                  int timeoutMs = 5000)
{
    QProcess process;
    process.start(program, args);
    Result result;
    if (!process.waitForStarted(3000))
        return result;
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    if (!TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    return result;
}

// The CLIPBOARD selection as another client sees it.
inline Result readClipboard(const QString &target = QStringLiteral("UTF8_STRING"))
{
    return run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                         QStringLiteral("-o"), QStringLiteral("-t"), target});
}

// Owns the clipboard with `text` from a separate xclip process (it serves until replaced).
inline bool seedClipboard(const QString &text)
{
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"),
        QStringLiteral("printf '%s' \"$1\" | xclip -selection clipboard -i -loops 0 >/dev/null 2>&1"),
        QStringLiteral("sh"), text});
    return TestEnv::waitFor([&] { return readClipboard().out == text.toUtf8(); }, 3000);
}

inline bool key(const QString &combo)
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), combo}).exitCode == 0;
}

class Editor
{
public:
    bool start(const QString &initial = {}, const QString &label = {})
    {
        output_ = dir_.filePath(QStringLiteral("editor.txt"));
        QStringList args{output_};
        if (!initial.isNull() || !label.isNull())
            args << initial;
        if (!label.isNull())
            args << label;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/test_editor"), args);
        if (!process_.waitForStarted(5000))
            return false;
        return waitLine("ready") && waitActive();
    }

    // Sends one command and waits for its answer.
    bool send(const QString &command)
    {
        process_.write(command.toUtf8() + '\n');
        const QByteArray verb = command.section(QLatin1Char(' '), 0, 0).toUtf8();
        return waitLine("ok " + verb);
    }

    QString text() const { return QString::fromUtf8(TestEnv::readFile(output_)); }
    qint64 pid() const { return process_.processId(); }

    ~Editor()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

private:
    bool waitLine(const QByteArray &line)
    {
        return TestEnv::waitFor([&] {
            buffer_ += process_.readAllStandardOutput();
            const qsizetype at = buffer_.indexOf(QByteArray(line + '\n'));
            if (at < 0)
                return false;
            buffer_.remove(0, at + line.size() + 1);
            return true;
        }, 10000);
    }

    // The editor's window is the active one (openbox gives it the focus).
    bool waitActive()
    {
        return TestEnv::waitFor([&] {
            const Result r = run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}, {}, 2000);
            return r.exitCode == 0 && r.out.trimmed().toLongLong() == process_.processId();
        }, 10000);
    }

    QTemporaryDir dir_;
    QString output_;
    QProcess process_;
    QByteArray buffer_;
};

} // namespace DesktopTools
