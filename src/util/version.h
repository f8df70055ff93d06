#pragma once

#include <QByteArray>

namespace orvane {

constexpr int kMajorVersion = 0;
constexpr int kMinorVersion = 7;

// "0.7"
inline QByteArray VersionText() {
  return QByteArray::number(kMajorVersion) + '.' + QByteArray::number(kMinorVersion);
}

// "Orvane Light 0.7": the caption, the tray tip, the %software% tag and the blank server name.
inline QByteArray SoftwareName() {
  return "Orvane Light " + VersionText();
}

}  // namespace orvane
