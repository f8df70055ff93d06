#include "app/commandline.h"

#include <QFile>

namespace orvane {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  QByteArrayList words;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (arg == QLatin1String("--headless")) {
      line.headless = true;
    } else if (arg == QLatin1String("--print-settings")) {
      line.printSettings = true;
    } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      line.help = true;
    } else if (arg == QLatin1String("--app-dir")) {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
        line.error = "--app-dir needs a folder";
        return line;
      }
      line.appDir = QFile::encodeName(arguments[++i]);
    } else if (arg.startsWith(QLatin1String("--"))) {
      line.error = "unknown option " + arg.toLocal8Bit();
      return line;
    } else {
      words << arg.toLocal8Bit();
    }
  }
  // The start-up switch is the whole argument text: "/r" alone, not "/r" among other words.
  line.argument = words.join(' ');
  return line;
}

QByteArray UsageText() {
  return "Usage: orvane-light [--headless] [--app-dir DIR] [/r]\n"
         "       orvane-light --print-settings [--app-dir DIR]\n"
         "\n"
         "Serves the \"docs\" folder beside the program (or in DIR) on the public port set in\n"
         "server.cfg (80 when none is set).\n"
         "  --headless        run without a window and start the server at once; the running\n"
         "                    log goes to standard output. SIGINT or SIGTERM stops it.\n"
         "  --app-dir DIR     use DIR as the program folder (server.cfg, docs, system)\n"
         "  --print-settings  print the settings in force and exit\n"
         "  /r                start the server at once, minimised\n";
}

}  // namespace orvane
