#include "web/requesttext.h"

#include <algorithm>

#include "net/headerlines.h"
#include "util/hostaddress.h"

namespace orvane {

bool RequestLineScanner::Complete(QByteArrayView text) {
  for (; scanned_ < text.size(); ++scanned_) {
    const char c = text[scanned_];
    if (c == '\r' || c == '\n') return true;
    if (c == ' ') {
      if (phase_ == InMethod) phase_ = AfterMethod;
    } else if (phase_ == AfterMethod) {
      return true;
    } else {
      phase_ = InMethod;
    }
  }
  return false;
}

bool HeaderBlockScanner::Complete(QByteArrayView text) {
  for (; scanned_ < text.size(); ++scanned_) {
    const char c = text[scanned_];
    if (c == '\n') {
      if (firstLine_ ? words_ < 3 : lineLength_ == 0) return ++scanned_, true;
      firstLine_ = false;
      lineLength_ = 0;
    } else if (c != '\r') {
      ++lineLength_;
      if (firstLine_) {
        if (c != ' ' && !inWord_) ++words_;
        inWord_ = c != ' ';
      }
    }
  }
  return false;
}

QByteArray ForwardedClient(const QByteArray& request, const QByteArray& proxy) {
  const QByteArray list = HeaderValue(request, "x-forwarded-for:");
  const QByteArray client = CanonicalAddress(list.mid(list.lastIndexOf(',') + 1).trimmed());
  return client.isEmpty() ? proxy : client;
}

std::optional<QByteArray> HTTPHeader(const QByteArray& strData, int selection) {
  // The words are the runs of characters between spaces; the text after the last space counts
  // as a word even when it is empty, and a word past the end is empty. This is what splitting at
  // every space and dropping the empty pieces gives, without splitting the whole text.
  selection = std::clamp(selection, 1, 4);
  const qsizetype n = strData.size();
  QByteArrayView words[3];
  int spaces = 0;
  qsizetype at = 0;
  for (int w = 0; w < 3 && at < n; ++w) {
    const qsizetype begin = at;
    while (at < n && strData[at] != ' ') ++at;
    words[w] = QByteArrayView(strData).sliced(begin, at - begin);
    while (at < n && strData[at] == ' ') {
      ++at;
      ++spaces;
    }
    if (w == 0 && words[0].isEmpty()) --w;  // leading spaces: no word before them
    if (spaces >= 2 && w >= static_cast<int>(selection == 4 ? 2 : 1)) break;
  }
  if (spaces < 1) return std::nullopt;
  const QByteArrayView target = words[1];
  if (target.isEmpty()) return QByteArray();
  switch (selection) {
    case 1:
      return target.toByteArray();
    case 2:
      return FilePartOf(target.toByteArray());
    case 3:
      return words[0].toByteArray();
    default:
      if (spaces < 2) return std::nullopt;
      return words[2].toByteArray();
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
