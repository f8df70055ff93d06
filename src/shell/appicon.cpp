#include "shell/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace orvane {

namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF disc(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
  p.setPen(QPen(QColor(0x0b, 0x4f, 0x55), qMax(1.0, s / 24)));
  p.setBrush(QColor(0x14, 0x8f, 0x91));
  p.drawEllipse(disc);

  // Meridians and parallels; at the smallest sizes only the main lines, so it stays legible.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0xe8, 0xf6, 0xf4), qMax(1.0, s / 20)));
  const QPointF c = disc.center();
  p.drawLine(QPointF(c.x(), disc.top()), QPointF(c.x(), disc.bottom()));
  p.drawLine(QPointF(disc.left(), c.y()), QPointF(disc.right(), c.y()));
  p.drawEllipse(QRectF(c.x() - s * 0.2, disc.top(), s * 0.4, disc.height()));
  if (size >= 24) {
    p.drawLine(QPointF(disc.left() + s * 0.1, c.y() - s * 0.24),
               QPointF(disc.right() - s * 0.1, c.y() - s * 0.24));
    p.drawLine(QPointF(disc.left() + s * 0.1, c.y() + s * 0.24),
               QPointF(disc.right() - s * 0.1, c.y() + s * 0.24));
  }

  // The lamp, lower right.
  const QRectF lamp(s * 0.58, s * 0.58, s * 0.38, s * 0.38);
  p.setPen(QPen(QColor(0x7a, 0x4a, 0x00), qMax(1.0, s / 28)));
  p.setBrush(QColor(0xff, 0xb3, 0x1a));
  p.drawEllipse(lamp);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xf0, 0xb8));
  p.drawEllipse(QRectF(lamp.left() + lamp.width() * 0.25, lamp.top() + lamp.height() * 0.2,
                       lamp.width() * 0.3, lamp.height() * 0.3));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  static const QIcon icon = [] {
    QIcon built;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) built.addPixmap(Draw(size));
    return built;
  }();
  return icon;
}

}  // namespace orvane
