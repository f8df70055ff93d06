#pragma once
// One key of an INI file at a time. Section and key names are matched without regard to letter
// case; blanks around names and values do not count; a value in matching double quotes is
// returned without them. Both line ends (LF and CR LF) are read.

#include <QByteArray>

namespace orvane {

// The value stored under `key` in `section` of `file`, at most 254 characters; empty when the
// file, the section or the key does not exist (or the file is not text). An empty section name
// is the section headed "[]".
QByteArray ReadINI(const QByteArray& section, const QByteArray& key, const QByteArray& file);

// Stores `value` under `key` in `section` of `file`: in place when the key exists, otherwise at
// the end of its section, or in a new section at the end of the file, or in a new file. Comment
// and unknown lines are kept. A value that would not read back as written (blanks around it, or
// quotes at both ends) is stored in quotes; line breaks cannot be stored and are dropped. A new
// file is readable by its owner only; an existing one keeps its mode. False, with nothing
// changed, when the file exists but cannot be read, or could not be written.
bool WriteINI(const QByteArray& section, const QByteArray& key, const QByteArray& value,
              const QByteArray& file);

}  // namespace orvane
