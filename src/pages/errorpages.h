#pragma once

#include <QByteArray>

namespace orvane {

enum class ErrorKind {
  NotFound = 1,           // "Error 404:"
  UnsupportedScript = 2,  // "Error 500:"
  MissingInterpreter = 3  // "Error 124:"
};

struct ErrorPage {
  QByteArray page;     // the bytes to send
  QByteArray logMark;  // put in front of the request name: "404 /", "500 /" or "124 /"
};

// "system/template-err.html" in the program folder.
QByteArray ErrorTemplateFile(const QByteArray& appPath);

// The error page of `kind` for the request name `filename` (inserted as it is). The error
// template is written anew to the program's "system" folder (created when missing), so the file
// always shows the built-in look; the page is built in memory and is complete even when that
// folder cannot be written.
ErrorPage CreateError(ErrorKind kind, const QByteArray& filename, const QByteArray& appPath);

}  // namespace orvane
