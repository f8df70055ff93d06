#pragma once

#include <QByteArray>

namespace orvane {

// Runs the program with its main window (a QApplication must exist): start-up with the program
// folder `appPath` and the argument text `argument`, then the event loop. Its exit status.
int RunWindowed(const QByteArray& appPath, const QByteArray& argument);

// True when a window can be shown: a display to connect to, or a platform that needs none.
bool DisplayAvailable();

}  // namespace orvane
