#include "web/scriptrequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "net/headerlines.h"
#include "util/files.h"
#include "util/text.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/requesttext.h"
#include "web/scriptrunner.h"
#include "web/site.h"

namespace orvane {

namespace {

// Header lines still without their end are waited for only up to this size.
constexpr qsizetype kMaxHeaderSize = 16 * 1024;

}  // namespace

QByteArray FindInterpreter(const QByteArray& appPath) {
  if (const QByteArray own = appPath + "qmx.exe"; FileExists(own)) return own;
  static const QByteArray installed = QFile::encodeName(QDir::cleanPath(
      QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/orvane-light/qmx.exe")));
  return FileExists(installed) ? installed : QByteArray();
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
  const QByteArray program = FindInterpreter(settings.AppPath);
  if (program.isEmpty()) {
    SendError(site, slot, ErrorKind::MissingInterpreter);
    return;
  }
  QByteArray request = text;
  const qsizetype headerSize = HeaderEnd(text);
  if (const qint64 length = ContentLength(text); length >= 0) {
    if (length > kMaxFormBody || (headerSize < 0 && text.size() > kMaxHeaderSize)) {
      SendError(site, slot, ErrorKind::MissingInterpreter);
      return;
    }
    // Until the empty line is in, the rest is looked at again with the next piece.
    const qint64 size = headerSize < 0 ? text.size() + 1 : headerSize + length;
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
