#include "app/commandline.h"

#include <QCommandLineParser>
#include <QFile>

namespace orvane {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption headless(QStringLiteral("headless"));
  const QCommandLineOption printSettings(QStringLiteral("print-settings"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption appDir(QStringLiteral("app-dir"), QStringLiteral("program folder"),
                                  QStringLiteral("DIR"));
  parser.addOptions({headless, printSettings, help, appDir});
  // The parser expects the program's name first.
  if (!parser.parse(QStringList{QStringLiteral("orvane-light")} + arguments)) {
    line.error = parser.errorText().toLocal8Bit();
    return line;
  }
  line.headless = parser.isSet(headless);
  line.printSettings = parser.isSet(printSettings);
  line.help = parser.isSet(help);
  if (parser.isSet(appDir)) {
    line.appDir = QFile::encodeName(parser.value(appDir));
    if (line.appDir.isEmpty()) {
      line.error = "--app-dir needs a folder";
      return line;
    }
  }
  // The start-up switch is the whole argument text: "/r" alone, not "/r" among other words.
  QByteArrayList words;
  for (const QString& word : parser.positionalArguments()) words << word.toLocal8Bit();
  line.argument = words.join(' ');
  return line;
}

QByteArray UsageText() {
  return "Usage: orvane-light [--headless] [--app-dir DIR] [/r]\n"
         "       orvane-light --print-settings [--app-dir DIR]\n"
         "       orvane-light --help\n"
         "\n"
         "Serves the \"docs\" folder of the program folder on the public port set in its\n"
         "server.cfg (80 when none is set). The program folder is DIR, or the program's own\n"
         "folder, or for an installed program ~/.local/share/orvane-light, filled with the\n"
         "sample site at the first start.\n"
         "  --headless        run without a window and start the server at once; the running\n"
         "                    log goes to standard output. SIGINT or SIGTERM stops it.\n"
         "  --app-dir DIR     use DIR as the program folder (server.cfg, docs, system)\n"
         "  --print-settings  print the settings in force (AppPath: the program folder) and exit\n"
         "  -h, --help        show this text and exit\n"
         "  /r                start the server at once, minimised (the only word besides the\n"
         "                    options)\n";
}

}  // namespace orvane
