#include "pages/errorpages.h"

#include "util/files.h"
#include "util/text.h"
#include "util/version.h"

namespace orvane {

namespace {

QByteArray TemplateText() {
  static const QByteArray text = "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version " +
                                 VersionText() +
                                 "</TITLE>\r\n</HEAD>\r\n<BODY BGCOLOR=WHITE TEXT=BLACK>\r\n"
                                 "<!--ERROR--!>\r\n</BODY>\r\n</HTML>\r\n";
  return text;
}

struct KindText {
  const char* number;
  const char* before;  // message line up to the request name
  const char* after;
};

KindText TextOf(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotFound:
      return {"404", "File Not Found (/", ")."};
    case ErrorKind::UnsupportedScript:
      return {"500", "We <b>don't</b> support CGI/Perl (/", ")."};
    case ErrorKind::MissingInterpreter:
      break;
  }
  return {"124", "We are missing QMX (/", ")."};
}

}  // namespace

QByteArray ErrorTemplateFile(const QByteArray& appPath) {
  return appPath + "system/template-err.html";
}

ErrorPage CreateError(ErrorKind kind, const QByteArray& filename, const QByteArray& appPath) {
  const QByteArray folder = appPath + "system/";
  if (!DirExists(folder)) MakeDir(folder);
  // An unchanged template is left alone, which spares a write for every error page.
  const QByteArray file = ErrorTemplateFile(appPath);
  if (ReadWholeFile(file) != TemplateText()) WriteFileAtomically(file, TemplateText());

  const KindText text = TextOf(kind);
  const QByteArray message = "<font face=arial><h1>Error " + QByteArray(text.number) +
                             ":</h1>\r\n" + text.before + EscapeHtml(filename) + text.after +
                             "\r\n<BR></font><HR><BR><Center><b>Orvane Light Version " +
                             VersionText() + "</b></center></html>";
  return {ReplaceText(TemplateText(), "<!--ERROR--!>", message), text.number + QByteArray(" /")};
}

}  // namespace orvane
