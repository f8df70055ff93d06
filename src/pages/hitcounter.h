#pragma once

#include <QByteArray>

namespace orvane {

// "system/counters.txt" in the program folder.
QByteArray CounterFile(const QByteArray& appPath);

// Counts one delivery of a counted page and returns the new count. The count is kept in the
// counter file under the key "counter" of the section with the empty name; a missing, unreadable
// or malformed count starts again from 0, and the count never passes 32767. A failed write is not
// noticed: the returned count is shown all the same.
int CountHit(const QByteArray& appPath);

// The stored count text as a number: blanks, an optional sign, digits and an optional fraction,
// rounded to a whole number; 0 for anything else or a number outside -32768..32767.
int StoredCount(const QByteArray& text);

}  // namespace orvane
