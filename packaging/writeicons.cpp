// Writes the program's icon as PNG files in the hicolor theme's layout,
// FOLDER/SIZExSIZE/apps/orvane-light.png, for the desktop entry of the package.
//
// Usage: orvane-icons FOLDER

#include <QDir>
#include <QGuiApplication>

#include "shell/appicon.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");  // drawn in memory, at build time, with no display
  QGuiApplication app(argc, argv);
  const QString root = QGuiApplication::arguments().value(1);
  if (root.isEmpty()) return 2;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(folder) ||
        !orvane::AppIcon().pixmap(size).save(folder + QStringLiteral("/orvane-light.png"))) {
      return 1;
    }
  }
  return 0;
}
