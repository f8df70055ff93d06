#pragma once

#include <QByteArray>

namespace orvane {

// Form and path text made readable: "+" and a fixed table of escapes are replaced, in a fixed
// order, every occurrence and without regard to letter case ("%2f" like "%2F"). It is not general
// percent-decoding: escapes outside the table stay as they are, a line break "%0D%0A" becomes
// "<br>" and a double quote becomes "&quot;". Never fails.
QByteArray DecodeFormValue(const QByteArray& value);

}  // namespace orvane
