#include "web/scriptrequest.h"

#include "util/files.h"
#include "util/text.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/requesttext.h"
#include "web/scriptrunner.h"
#include "web/site.h"

namespace orvane {

namespace {

// Header lines end at the first empty line; these are the bytes before the body, or -1 when the
// empty line has not arrived.
// Header lines still without their end are waited for only up to this size.
constexpr qsizetype kMaxHeaderSize = 16 * 1024;

qsizetype HeaderSize(const QByteArray& text) {
  for (qsizetype at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) {
    if (at + 1 < text.size() && text[at + 1] == '\n') return at + 2;
    if (at + 2 < text.size() && text[at + 1] == '\r' && text[at + 2] == '\n') return at + 3;
  }
  return -1;
}

}  // namespace

std::optional<qint64> DeclaredBodyLength(const QByteArray& text, qsizetype headerSize) {
  const qsizetype end = headerSize < 0 ? text.size() : headerSize;
  static constexpr QByteArrayView kName = "\ncontent-length:";
  const qsizetype at = IndexOfFolded(QByteArrayView(text).first(end), kName);
  if (at < 0) return std::nullopt;
  qsizetype i = at + kName.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  qint64 length = 0;
  const qsizetype digits = i;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
    length = std::min<qint64>(length * 10 + (text[i] - '0'), qint64(1) << 40);
  }
  if (i == digits) return std::nullopt;
  return length;
}

QByteArray InterpreterArgument(const QByteArray& script, const QByteArray& address,
                               const QByteArray& form) {
  QByteArray safeForm;
  safeForm.reserve(form.size());
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : form) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0 || u > 127) {
      safeForm += '%';
      safeForm += kHex[u >> 4];
      safeForm += kHex[u & 15];
    } else {
      safeForm += c;
    }
  }
  return script + '|' + address + '|' + safeForm;
}

void ScriptRequest(const Site& site, ClientSlot& slot, const QByteArray& text) {
  const Settings& settings = site.settings;
  const QByteArray program = settings.AppPath + "qmx.exe";
  if (!FileExists(program)) {
    SendError(site, slot, ErrorKind::MissingInterpreter);
    return;
  }
  QByteArray request = text;
  const qsizetype headerSize = HeaderSize(text);
  if (const std::optional<qint64> length = DeclaredBodyLength(text, headerSize)) {
    if (*length > kMaxFormBody || (headerSize < 0 && text.size() > kMaxHeaderSize)) {
      SendError(site, slot, ErrorKind::MissingInterpreter);
      return;
    }
    // Until the empty line is in, the rest is looked at again with the next piece.
    const qint64 size = headerSize < 0 ? text.size() + 1 : headerSize + *length;
    if (text.size() < size) {
      slot.sink->AwaitBody(slot, size);
      return;
    }
    request.truncate(size);
  }
  const QByteArray form = GrabFORMQUERY(request).value_or(QByteArray());
  const QByteArray script = ToDiskPath(site.DocsRoot() + slot.SlotRequest);
  ScriptRun run{program, InterpreterArgument(script, slot.peer, form),
                settings.AppPath + slot.peer + ".qms", slot.peer, settings.AppPath};
  if (run.argument.size() >= kMaxArgument) {
    site.desktop.AppendLog("Form too large: " + slot.SlotRequest);
    SendError(site, slot, ErrorKind::MissingInterpreter);
    return;
  }
  slot.sink->RunScript(slot, run);
}

}  // namespace orvane
