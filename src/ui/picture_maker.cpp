// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Draws the window's three 64 x 64 pictures: "64w" (at rest), "64ww" (pointer over it)
// and "64c" (pressed). Run: quorvane_make_pictures FOLDER; the PNG files are committed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

struct TLook {
  QColor ring, stick, glow;
  double shift;  // the pressed picture sits a little lower
};

QImage Draw(const TLook& look) {
  QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(0, look.shift);

  if (look.glow.alpha() > 0) {
    QRadialGradient halo(32, 32, 32);
    halo.setColorAt(0.6, look.glow);
    halo.setColorAt(1.0, QColor(look.glow.red(), look.glow.green(), look.glow.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(QPointF(32, 32), 32, 32);
  }
  p.setPen(QPen(look.ring, 3));
  p.setBrush(QColor(0, 0, 0, 110));
  p.drawEllipse(QPointF(32, 32), 27, 27);

  // A USB stick, leaning right, with a boot menu on its body.
  p.save();
  p.translate(32, 33);
  p.rotate(-35);
  p.setPen(Qt::NoPen);
  p.setBrush(look.stick);
  p.drawRoundedRect(QRectF(-9, -6, 18, 26), 3, 3);  // body
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(look.stick, 2.2));
  p.drawRect(QRectF(-6, -17, 12, 10));             // connector
  p.setPen(Qt::NoPen);
  p.setBrush(look.stick);
  p.drawRect(QRectF(-3.5, -14, 2.5, 3));
  p.drawRect(QRectF(1, -14, 2.5, 3));
  p.setBrush(QColor(20, 24, 30));
  for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(-5.5, -1 + 6 * i, i == 0 ? 11 : 8, 3), 1, 1);
  p.restore();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
  const QColor green(0xAD, 0xFF, 0x2F);
  const struct {
    const char* name;
    TLook look;
  } pictures[] = {
      {"64w", {QColor(235, 235, 235), QColor(235, 235, 235), QColor(0, 0, 0, 0), 0}},
      {"64ww", {green, QColor(255, 255, 255), QColor(0xAD, 0xFF, 0x2F, 70), 0}},
      {"64c", {QColor(0x7F, 0xB8, 0x22), QColor(190, 190, 190), QColor(0, 0, 0, 0), 1.5}},
  };
  for (const auto& picture : pictures) {
    const QString path = folder + picture.name + ".png";
    if (!Draw(picture.look).save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
