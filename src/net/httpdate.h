#pragma once
// Dates in header lines (Last-Modified, If-Modified-Since, If-Range).

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace orvane {

// `seconds` since 1970 (UTC) as an IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT".
QByteArray HttpDate(qint64 seconds);

// The seconds since 1970 an HTTP-date names: an IMF-fixdate, or one of the two obsolete forms a
// recipient must still accept ("Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994").
// Nothing for any other text.
std::optional<qint64> ParseHttpDate(QByteArrayView text);

}  // namespace orvane
