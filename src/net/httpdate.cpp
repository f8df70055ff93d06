#include "net/httpdate.h"

#include <time.h>

#include <QList>

namespace orvane {

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The number made of all of `text`'s digits (at most four of them); -1 when it is anything else.
int Number(QByteArrayView text) {
  if (text.isEmpty() || text.size() > 4) return -1;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

int Month(QByteArrayView name) {
  for (int m = 0; m < 12; ++m)
    if (name == kMonths[m]) return m;
  return -1;
}

// "08:49:37" into `when`.
bool Clock(QByteArrayView text, tm& when) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  when.tm_hour = Number(text.sliced(0, 2));
  when.tm_min = Number(text.sliced(3, 2));
  when.tm_sec = Number(text.sliced(6, 2));
  return when.tm_hour >= 0 && when.tm_hour < 24 && when.tm_min >= 0 && when.tm_min < 60 &&
         when.tm_sec >= 0 && when.tm_sec <= 60;
}

}  // namespace

QByteArray HttpDate(qint64 seconds) {
  const time_t t = static_cast<time_t>(seconds);
  tm when{};
  ::gmtime_r(&t, &when);
  char text[32];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[when.tm_wday],
                when.tm_mday, kMonths[when.tm_mon], when.tm_year + 1900, when.tm_hour, when.tm_min,
                when.tm_sec);
  return text;
}

std::optional<qint64> ParseHttpDate(QByteArrayView text) {
  QList<QByteArrayView> words;
  for (qsizetype at = 0; at < text.size() && words.size() <= 6;) {
    const qsizetype space = text.indexOf(' ', at);
    const qsizetype end = space < 0 ? text.size() : space;
    if (end > at) words << text.sliced(at, end - at);
    at = end + 1;
  }
  tm when{};
  int day = -1, month = -1, year = -1;
  bool clock = false;
  if (words.size() == 6 && words[0].size() == 4 && words[0].endsWith(',') && words[5] == "GMT") {
    // Sun, 06 Nov 1994 08:49:37 GMT
    day = words[1].size() == 2 ? Number(words[1]) : -1;
    month = Month(words[2]);
    year = words[3].size() == 4 ? Number(words[3]) : -1;
    clock = Clock(words[4], when);
  } else if (words.size() == 4 && words[0].endsWith(',') && words[3] == "GMT" &&
             words[1].size() == 9 && words[1][2] == '-' && words[1][6] == '-') {
    // Sunday, 06-Nov-94 08:49:37 GMT: years 70 to 99 are of the 1900s, the others of the 2000s.
    day = Number(words[1].sliced(0, 2));
    month = Month(words[1].sliced(3, 3));
    year = Number(words[1].sliced(7, 2));
    if (year >= 0) year += year < 70 ? 2000 : 1900;
    clock = Clock(words[2], when);
  } else if (words.size() == 5 && words[0].size() == 3) {
    // Sun Nov  6 08:49:37 1994
    month = Month(words[1]);
    day = words[2].size() <= 2 ? Number(words[2]) : -1;
    clock = Clock(words[3], when);
    year = words[4].size() == 4 ? Number(words[4]) : -1;
  }
  if (!clock || day < 1 || day > 31 || month < 0 || year < 1900) return std::nullopt;
  when.tm_mday = day;
  when.tm_mon = month;
  when.tm_year = year - 1900;
  return static_cast<qint64>(::timegm(&when));
}

}  // namespace orvane
