#include "admin/headerlines.h"

#include <algorithm>

#include "util/text.h"

namespace orvane {

qsizetype HeaderEnd(const QByteArray& block, qsizetype from) {
  const qsizetype at = block.indexOf("\r\n\r\n", from);
  return at < 0 ? -1 : at + 4;
}

QByteArray HeaderValue(const QByteArray& block, QByteArrayView name) {
  const qsizetype end = HeaderEnd(block);
  const QByteArrayView head = QByteArrayView(block).first(end < 0 ? block.size() : end);
  const qsizetype at = IndexOfFolded(head, "\r\n" + name.toByteArray());
  if (at < 0) return {};
  const qsizetype start = at + 2 + name.size();
  qsizetype stop = head.indexOf('\r', start);
  if (stop < 0) stop = head.size();
  return head.sliced(start, stop - start).toByteArray().trimmed();
}

qint64 ContentLength(const QByteArray& block) {
  const QByteArray value = HeaderValue(block, "content-length:");
  qint64 length = 0;
  qsizetype i = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    length = std::min<qint64>(length * 10 + (value[i] - '0'), qint64(1) << 50);
  }
  return i == 0 ? -1 : length;
}

}  // namespace orvane
