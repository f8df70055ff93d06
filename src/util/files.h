#pragma once
// File routines on byte-string paths: the bytes of a path are the bytes the file system sees, so
// names pass through without any change of encoding.

#include <QByteArray>
#include <optional>

namespace orvane {

// True when `path` names a regular file that can be opened for reading. False for a folder, a
// device or pipe, a missing or unreadable file, and an empty path. Never blocks.
bool FileExists(const QByteArray& path);

// True when something (of any kind) has the name `path`.
bool PathExists(const QByteArray& path);

// True when `path` names a folder.
bool DirExists(const QByteArray& path);

// The whole content of a regular file, one character per byte; nothing when it cannot be opened
// or read. An empty file gives an empty text; a file that reports no size (those of /proc) is
// read to its end. Never creates a file.
std::optional<QByteArray> ReadWholeFile(const QByteArray& path);

// Opens a regular file for reading without ever blocking on a pipe or device and gives its size;
// -1 for anything else (a folder, a device, a missing or unreadable file, a name with a NUL).
// With `noFollow`, a symbolic link at `path` itself is not followed either (-1 with errno ELOOP).
int OpenRegularFile(const QByteArray& path, qint64* size, bool noFollow = false);

// Reads `size` bytes from the open file `fd` (fewer when it ends first); nothing on a read error.
std::optional<QByteArray> ReadOpenFile(int fd, qint64 size);

// Replaces the content of `path` with `content` so that readers see either the old or the new
// content, never a part: the bytes go to a new file in the same folder, which then takes the
// place of the old one, keeping its permissions; a new file gets `newMode`. False when the folder
// cannot be written.
bool WriteFileAtomically(const QByteArray& path, const QByteArray& content,
                         unsigned newMode = 0644);

// Creates the folder `path` (not its parents). True when it exists afterwards.
bool MakeDir(const QByteArray& path);

// Why `path` cannot be written or replaced, in the system's words ("Permission denied", "Is a
// directory"); a general sentence when the system names no reason.
QByteArray WriteProblem(const QByteArray& path);

// A request path as the file system names it: a backslash is a separator like "/".
QByteArray ToDiskPath(QByteArray path);

// Removes a file; false when it could not be removed.
bool RemoveFile(const QByteArray& path);

}  // namespace orvane
