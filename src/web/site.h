#pragma once

#include <QByteArray>

#include "core/desktop.h"
#include "core/settings.h"

namespace orvane {

// What the request handlers may use of the program: the settings in force (never written here),
// the running log, and the web path of the folder listed last (%server-path%).
struct Site {
  const Settings& settings;
  Desktop& desktop;
  QByteArray& listingPath;

  // The documents folder, ending in a separator.
  QByteArray DocsRoot() const {
    const QByteArray& docs = settings.DocsPath;
    return docs.endsWith('/') || docs.endsWith('\\') ? docs : docs + '/';
  }
};

}  // namespace orvane
