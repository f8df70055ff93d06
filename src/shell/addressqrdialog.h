#pragma once

#include <QDialog>

namespace orvane {

// The site's address as a QR code, for a phone on the same network, with the address as text
// under it.
class AddressQrDialog : public QDialog {
  Q_OBJECT

 public:
  AddressQrDialog(const QByteArray& address, QWidget* parent);
};

}  // namespace orvane
