#pragma once

#include <QByteArray>
#include <QString>

// Files of the user's data (dictations, recordings, keys, the log) are readable by
// their owner only: folders 0700, files 0600, whatever the umask.
namespace PrivateFiles {

// Replaces `path` atomically with `data` through an owner-only temporary file in
// the same folder, so the content is never readable by others, not even for a
// moment. The folder must exist. False when nothing was replaced.
bool write(const QString &path, const QByteArray &data);

// Creates the folder (and its parents) when missing and makes it owner-only.
bool makeFolder(const QString &path);

// Takes group and other permissions away from a file or folder; a symbolic link
// is never followed. Does nothing when the entry is missing or already private.
void tighten(const QString &path);

// Where a file that could not be read is moved: "<path>.illisible-<UTC time>",
// with "-2", "-3"… when that name is taken.
QString setAsideName(const QString &path);

} // namespace PrivateFiles
