#include "shell/addressqrdialog.h"

#include <qrencode.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace orvane {

namespace {

constexpr int kModule = 6;  // pixels per module: a phone reads it from across a desk
constexpr int kQuiet = 4;   // the white margin in modules that readers need around a code

// The code for `text`, black on white with its margin; a null image when it cannot be made.
QImage QrImage(const QByteArray& text) {
  QRcode* code = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
  if (code == nullptr) return {};
  const int side = (code->width + 2 * kQuiet) * kModule;
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if ((code->data[y * code->width + x] & 1) == 0) continue;  // the low bit is the module
      for (int dy = 0; dy < kModule; ++dy) {
        for (int dx = 0; dx < kModule; ++dx) {
          image.setPixel((x + kQuiet) * kModule + dx, (y + kQuiet) * kModule + dy, 0xff000000);
        }
      }
    }
  }
  QRcode_free(code);
  return image;
}

}  // namespace

AddressQrDialog::AddressQrDialog(const QByteArray& address, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmQr"));
  setWindowTitle(QStringLiteral("Site Address"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* code = new QLabel(this);
  code->setObjectName(QStringLiteral("QrCode"));
  code->setPixmap(QPixmap::fromImage(QrImage(address)));
  layout->addWidget(code, 0, Qt::AlignCenter);
  auto* text = new QLabel(QString::fromLatin1(address), this);
  text->setObjectName(QStringLiteral("QrAddress"));
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(text, 0, Qt::AlignCenter);
}

}  // namespace orvane
