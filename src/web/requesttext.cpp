#include "web/requesttext.h"

#include <algorithm>

#include "util/text.h"

namespace orvane {

std::optional<QByteArray> HTTPHeader(const QByteArray& strData, int selection) {
  selection = std::clamp(selection, 1, 4);
  const QList<QByteArray> words = SplitText(strData, " ");
  if (words.size() < 2) return std::nullopt;
  const QByteArray& target = words[1];
  if (TrimSpaces(target).isEmpty()) return QByteArray();
  switch (selection) {
    case 1:
      return target;
    case 2:
      return FilePartOf(target);
    case 3:
      return words[0];
    default:
      if (words.size() < 3) return std::nullopt;
      return words[2];
  }
}

QByteArray FilePartOf(const QByteArray& target) {
  QByteArray name = PullFilename(target);
  if (name.startsWith('/')) name.remove(0, 1);
  return name;
}

QByteArray PullFilename(const QByteArray& strData) {
  const qsizetype mark = strData.indexOf('?');
  return mark < 0 ? strData : strData.left(mark);
}

std::optional<QByteArray> GrabFORMQUERY(QByteArray strData) {
  if (strData.isEmpty()) return std::nullopt;
  auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
  for (int i = 0; i < 2 && !strData.isEmpty() && isLineEnd(strData.back()); ++i) strData.chop(1);
  qsizetype start = strData.size();
  while (start > 0 && !isLineEnd(strData[start - 1])) --start;
  return strData.mid(start);
}

QByteArray FileExt(const QByteArray& filename) {
  const qsizetype dot = filename.lastIndexOf('.');
  return dot < 0 ? filename : filename.mid(dot + 1);
}

QByteArray FormatStr(const QByteArray& strData, qsizetype LenOfStr) {
  if (strData.size() > LenOfStr) return strData;
  return strData + QByteArray(LenOfStr + 1 - strData.size(), ' ');
}

}  // namespace orvane
