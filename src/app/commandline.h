#pragma once

#include <QByteArray>
#include <QStringList>

namespace orvane {

struct CommandLine {
  bool headless = false;
  bool printSettings = false;
  bool help = false;
  QByteArray appDir;    // empty: the program's own folder
  QByteArray argument;  // the argument text beyond the options ("/r" starts the server)
  QByteArray error;     // what is wrong with the command line, empty when nothing
};

// Reads the program's arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);

QByteArray UsageText();

}  // namespace orvane
