#include "net/headerlines.h"

#include <algorithm>

#include "util/text.h"

namespace orvane {

qsizetype HeaderEnd(const QByteArray& block, qsizetype from) {
  for (qsizetype at = block.indexOf('\n', from); at >= 0; at = block.indexOf('\n', at + 1)) {
    if (at + 1 < block.size() && block[at + 1] == '\n') return at + 2;
    if (at + 2 < block.size() && block[at + 1] == '\r' && block[at + 2] == '\n') return at + 3;
  }
  return -1;
}

QByteArray HeaderValue(const QByteArray& block, QByteArrayView name) {
  const qsizetype end = HeaderEnd(block);
  const QByteArrayView head = QByteArrayView(block).first(end < 0 ? block.size() : end);
  const qsizetype at = IndexOfFolded(head, "\n" + name.toByteArray());
  if (at < 0) return {};
  const qsizetype start = at + 1 + name.size();
  qsizetype stop = start;
  while (stop < head.size() && head[stop] != '\r' && head[stop] != '\n') ++stop;
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
