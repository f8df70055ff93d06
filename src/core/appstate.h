#pragma once

#include <QByteArray>

#include "core/desktop.h"
#include "core/settings.h"
#include "core/transfers.h"

namespace orvane {

// What the whole program shares for its run: the running settings, the window's state, and the
// web path of the folder listed last (shown by the %server-path% tag).
struct AppState {
  explicit AppState(Shell& shell) : desktop(shell) {}

  Settings settings;
  Desktop desktop;
  QByteArray ListingPath;
  // Where the servers report their transfers: the window's list; none without a window.
  TransferReport* transfers = nullptr;
  // The SHA-256 fingerprint of the certificate a port with HTTPS shows; empty without HTTPS.
  QByteArray tlsFingerprint;
};

// The status text of panel 2: "3/50 Active Users".
inline QByteArray ConnectionsText(int active, int maxConnect) {
  return QByteArray::number(active) + '/' + QByteArray::number(maxConnect) + " Active Users";
}

}  // namespace orvane
