#pragma once
// The header lines of a request, as both sites read them.

#include <QByteArray>
#include <QByteArrayView>

namespace orvane {

// Where the body begins: just after the first empty line (CR LF CR LF, or LF LF from a client that
// ends its lines with LF alone) at or after `from`; -1 when the header lines have not ended.
qsizetype HeaderEnd(const QByteArray& block, qsizetype from = 0);

// The value of the header line `name` (with its colon, any letter case), blanks trimmed; empty
// when there is none. While the header lines have not ended, all of the text is looked at.
QByteArray HeaderValue(const QByteArray& block, QByteArrayView name);

// The Content-Length the header lines announce; -1 when there is none.
qint64 ContentLength(const QByteArray& block);

}  // namespace orvane
