#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Files of the user's data (dictations, recordings, keys, the log) are readable by
// their owner only: folders 0700, files 0600, whatever the umask.
namespace PrivateFiles {

// Replaces `path` atomically with `data` through an owner-only temporary file in
// the same folder, so the content is never readable by others, not even for a
// moment. The folder must exist. False when nothing was replaced; `error` then
// gets the errno of the step that failed (EROFS, ENOSPC…).
bool write(const QString &path, const QByteArray &data, int *error = nullptr);

// Creates the folder (and its parents) when missing and makes it owner-only.
bool makeFolder(const QString &path);

// Takes group and other permissions away from a file or folder; a symbolic link
// is never followed. Does nothing when the entry is missing or already private.
void tighten(const QString &path);

// Where a file that could not be read is moved: "<path>.illisible-<UTC time>",
// with "-2", "-3"… when that name is taken.
QString setAsideName(const QString &path);

// --- The one rule for what the program deletes, changes the mode of or sends away:
// a regular file of the user's own with no other name (one link), reached from
// `root` through real folders only. No symbolic link is followed on the way, the
// last component of `root` included, so that a link planted in the data folder
// (or the data folder's "Audio" made a link) never leads outside it. `relative`
// is a plain relative path such as "history.json" or "Audio/<name>.wav"; ".",
// ".." and empty components are refused.

// Whether root/relative is such a file.
bool isOwned(const QString &root, const QString &relative);
// Removes it when it is such a file; false otherwise (nothing else is touched).
bool removeOwned(const QString &root, const QString &relative);
// The same for the file `path` of a folder (its folder is the root).
bool removeOwnedPath(const QString &path);
// Takes group and other permissions from it when it is such a file, or from the
// folder itself when `relative` names one of the user's own real folders (empty:
// `root`).
void tightenOwned(const QString &root, const QString &relative);
// Its bytes when it is such a file of at most `maxBytes` bytes.
std::optional<QByteArray> readOwned(const QString &root, const QString &relative, qint64 maxBytes);
// The names of such files directly inside the folder root/relative (empty: root).
QStringList ownedFiles(const QString &root, const QString &relative = QString());
// Removes such files inside the folder root/relative, then the folder when
// nothing else is left in it; true when the folder is gone.
bool removeOwnedFolder(const QString &root, const QString &relative);

// Makes root/name a real folder of the user's own (0700): created when missing;
// an entry of that name that is something else (a link, a file) is first
// renamed aside with setAsideName(). False when no such folder could be made.
bool ensureOwnFolder(const QString &root, const QString &name);

// The whole content of the data file `path` (links followed), read only when it
// is a regular file: a FIFO, a device or a folder in its place would hang the
// read or never end it. None when missing (`error` ENOENT), not a regular file
// (EINVAL) or unreadable (the errno).
std::optional<QByteArray> readData(const QString &path, int *error = nullptr);

// The file that a temporary file of write() was to replace: "history.json" for
// ".history.json.a1B2c3"; empty for any other name. A write cut by a crash leaves
// its temporary file behind.
QString temporaryTarget(const QString &fileName);

// A fault for tests, injected into every write of this namespace and of the
// recording spools: the errno that write() then fails with (0: none).
void setWriteFault(int error);
int writeFault();

} // namespace PrivateFiles
