#include "admin/guards.h"

#include <QRandomGenerator>

namespace orvane {

bool Session::Accepts(const QByteArray& peer, QByteArrayView given, qint64 now) const {
  if (address.isEmpty() || token.isEmpty() || peer != address) return false;
  if (now - lastUse > kIdleMs) return false;
  return SameSecret(given, token);
}

QByteArray NewToken() {
  quint32 words[4];
  QRandomGenerator::system()->fillRange(words);
  return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

bool SameSecret(QByteArrayView a, QByteArrayView b) {
  // Every byte of the longer text is looked at, whatever the shorter one holds.
  const qsizetype length = std::max(a.size(), b.size());
  unsigned difference = a.size() == b.size() ? 0u : 1u;
  for (qsizetype i = 0; i < length; ++i) {
    const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
    const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
    difference |= x ^ y;
  }
  return difference == 0;
}

bool OriginMatches(const QByteArray& origin, bool present, const QByteArray& host,
                   const QByteArray& local, QByteArrayView scheme) {
  if (!present) return true;
  const QByteArray site = scheme.toByteArray() + "://" + (host.isEmpty() ? local : host);
  return origin.compare(site, Qt::CaseInsensitive) == 0;
}

bool LoginThrottle::Allows(const QByteArray& address, qint64 now) const {
  if (now - secondStart_ < 1000 && failuresThisSecond_ >= kFailuresPerSecond) return false;
  auto it = records_.find(address);
  return it == records_.end() || now >= it->second.bannedUntil;
}

void LoginThrottle::Failed(const QByteArray& address, qint64 now) {
  if (now - secondStart_ >= 1000) {
    secondStart_ = now;
    failuresThisSecond_ = 0;
  }
  ++failuresThisSecond_;
  Forget(now);
  Record& record = records_[address];
  if (now - record.windowStart > kWindowMs && record.banMs == 0) {
    record.windowStart = now;
    record.failures = 0;
  }
  ++record.failures;
  if (record.failures < kFreeFailures) return;
  record.banMs = record.banMs == 0 ? kFirstBanMs : std::min(record.banMs * 2, kMaxBanMs);
  record.bannedUntil = now + record.banMs;
}

void LoginThrottle::Succeeded(const QByteArray& address) {
  records_.erase(address);
}

void LoginThrottle::Forget(qint64 now) {
  // Addresses are many and cheap for a stranger: the quiet ones are forgotten first.
  if (records_.size() < kMaxAddresses) return;
  for (auto it = records_.begin(); it != records_.end();) {
    const Record& record = it->second;
    const bool quiet = now >= record.bannedUntil && now - record.windowStart > kWindowMs;
    it = quiet ? records_.erase(it) : std::next(it);
  }
  if (records_.size() >= kMaxAddresses) records_.erase(records_.begin());
}

QByteArray FormField(QByteArrayView body, QByteArrayView name) {
  QByteArray found;
  qsizetype at = 0;
  while (at <= body.size()) {
    qsizetype end = body.indexOf('&', at);
    if (end < 0) end = body.size();
    const QByteArrayView field = body.sliced(at, end - at);
    if (field.size() > name.size() && field.startsWith(name) && field[name.size()] == '=') {
      const QByteArrayView value = field.sliced(name.size() + 1);
      if (!value.isEmpty() || found.isEmpty()) found = value.toByteArray();
    }
    at = end + 1;
  }
  return found;
}

}  // namespace orvane
