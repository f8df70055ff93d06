#pragma once
// How a file sent as it is answers a request's conditional and range header lines.

#include <QByteArray>

namespace orvane {

struct FileAnswer {
  // Whole: 200 and the file. Part: 206 and `length` bytes from `first`. NotModified: 304 with no
  // body. Unsatisfiable: 416, no byte of the file.
  enum Kind { Whole, Part, NotModified, Unsatisfiable };
  Kind kind = Whole;
  qint64 first = 0;
  qint64 length = 0;
};

// The answer to the header lines of `request` for a file of `size` bytes last changed at
// `modified` (seconds since 1970), at `now`:
// - If-Modified-Since at or after the file's date gets NotModified (a date that cannot be read
//   or lies ahead of `now` is ignored, and so is the line when If-None-Match is there, as no tag
//   is ever given);
// - one range of "Range: bytes=" ("a-b", "a-", "-n") gets Part, clipped to the file; one that
//   begins past the end, or "-0", gets Unsatisfiable; several ranges, or a line that cannot be
//   read, get Whole (a server may always send the whole file);
// - If-Range with a date other than the file's own ignores the range.
FileAnswer AnswerFileRequest(const QByteArray& request, qint64 size, qint64 modified, qint64 now);

}  // namespace orvane
