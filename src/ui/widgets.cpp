// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/widgets.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QEventLoop>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWheelEvent>
#include <QCoreApplication>
#include <cmath>

#include "archive/file_operations.h"

namespace quorvane {

namespace {
// The light look: the buttons that draw themselves take dark lines and text.
bool g_light_text_colors = false;
}  // namespace


namespace {

const QColor kOutline(255, 255, 255, 190);
const QColor kHot(0xAD, 0xFF, 0x2F);

std::function<void(const std::string&)>& UrlOpener() {
  static std::function<void(const std::string&)> opener;
  return opener;
}

}  // namespace

QColor ArgbColor(std::uint32_t argb) {
  return QColor((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF, (argb >> 24) & 0xFF);
}

QGraphicsOpacityEffect* OpacityEffect(QWidget* widget) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(1);
    widget->setGraphicsEffect(effect);
  }
  return effect;
}

void SetOpacity(QWidget* widget, double opacity) { OpacityEffect(widget)->setOpacity(opacity); }

double Opacity(const QWidget* widget) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  return effect ? effect->opacity() : 1.0;
}

void AnimationPause(int ms) {
  if (ms <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void SetUiUrlOpener(std::function<void(const std::string&)> opener) {
  UrlOpener() = std::move(opener);
}

void OpenUiUrl(const std::string& url) {
  try {
    if (UrlOpener()) {
      UrlOpener()(url);
    } else {
      ShellOpen(url);
    }
  } catch (...) {
    // Links open through the desktop; what it answers is not the window's concern.
  }
}

void ShowPlainMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, "Quorvane", text, QMessageBox::Ok, parent);
  box.setObjectName("PlainMessage");
  box.exec();
}

void UseLightSchemeTextColors(bool light) { g_light_text_colors = light; }

void SetTextColor(QWidget* widget, std::uint32_t argb) {
  // On the light look, the dark look's light accents would not be read: green-yellow
  // becomes a dark olive, white a dark grey.
  if (g_light_text_colors && argb == kGreenYellow) argb = 0xFF3F6A0A;
  if (g_light_text_colors && argb == kWhite) argb = 0xFF1D2330;
  const QColor c = ArgbColor(argb);
  widget->setStyleSheet(QString("color: rgba(%1, %2, %3, %4);")
                            .arg(c.red())
                            .arg(c.green())
                            .arg(c.blue())
                            .arg(c.alpha()));
}

// ---------------------------------------------------------------------------------------

namespace {

// The keyboard's focus on a button that draws itself: a ring in the accent colour.
void PaintFocusRing(QPainter& p, const QRectF& box, double radius) {
  p.save();
  p.setOpacity(1.0);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(g_light_text_colors ? QColor(0x3F, 0x6A, 0x0A) : QColor(0xAD, 0xFF, 0x2F), 2,
                Qt::SolidLine));
  p.drawRoundedRect(box.adjusted(1, 1, -1, -1), radius, radius);
  p.restore();
}

bool IsActivationKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

TStyledButton::TStyledButton(const QString& style_lookup, const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  if (!text.isEmpty()) setAccessibleName(text);
  SetStyleLookup(style_lookup);
}

void TStyledButton::keyPressEvent(QKeyEvent* event) {
  if (IsActivationKey(event) && isEnabled()) {
    animateClick();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void TStyledButton::SetStyleLookup(const QString& style_lookup) {
  FStyleLookup = style_lookup;
  setProperty("styleLookup", style_lookup);
  style()->unpolish(this);
  style()->polish(this);
  update();
}

void TStyledButton::SetScale(double scale) {
  const QRect g = geometry();
  const int w = static_cast<int>(std::lround(g.width() / FScale));
  const int h = static_cast<int>(std::lround(g.height() / FScale));
  FScale = scale;
  Place(g.x(), g.y(), w, h);
}

void TStyledButton::Place(int x, int y, int w, int h) {
  setGeometry(x, y, static_cast<int>(std::lround(w * FScale)),
              static_cast<int>(std::lround(h * FScale)));
}

bool TStyledButton::IsIconStyle() const {
  static const QStringList icons = {"closebutton",  "removebutton", "refreshbutton",
                                    "searchbutton", "cancelbutton", "roundbutton",
                                    "applybutton"};
  return icons.contains(FStyleLookup);
}

void TStyledButton::PaintGlyph(QPainter& p, const QRectF& box, const QColor& color) {
  const QString& s = FStyleLookup;
  const QPointF c = box.center();
  const double r = box.width() / 2;
  QPen pen(color, std::max(1.4, r / 7));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const double g = r * 0.42;  // half the size of the glyph inside the circle
  if (s == "removebutton") {
    p.drawLine(QPointF(c.x() - g, c.y()), QPointF(c.x() + g, c.y()));
  } else if (s == "roundbutton" || s == "addbuttontext") {
    p.drawLine(QPointF(c.x() - g, c.y()), QPointF(c.x() + g, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - g), QPointF(c.x(), c.y() + g));
  } else if (s == "closebutton" || s == "cancelbutton") {
    const double d = g * 0.8;
    p.drawLine(QPointF(c.x() - d, c.y() - d), QPointF(c.x() + d, c.y() + d));
    p.drawLine(QPointF(c.x() + d, c.y() - d), QPointF(c.x() - d, c.y() + d));
  } else if (s == "applybutton" || s == "applybuttontext") {
    QPainterPath tick;
    tick.moveTo(c.x() - g, c.y());
    tick.lineTo(c.x() - g * 0.25, c.y() + g * 0.7);
    tick.lineTo(c.x() + g, c.y() - g * 0.6);
    p.drawPath(tick);
  } else if (s == "refreshbutton") {
    const QRectF arc(c.x() - g, c.y() - g, 2 * g, 2 * g);
    p.drawArc(arc, 60 * 16, 280 * 16);
    const QPointF tip(c.x() + g * std::cos(M_PI / 3), c.y() - g * std::sin(M_PI / 3));
    p.drawLine(tip, tip + QPointF(-g * 0.55, -g * 0.1));
    p.drawLine(tip, tip + QPointF(g * 0.05, g * 0.55));
  } else if (s == "searchbutton") {
    const double lens = g * 0.62;
    const QPointF lc(c.x() - g * 0.2, c.y() - g * 0.2);
    p.drawEllipse(lc, lens, lens);
    p.drawLine(lc + QPointF(lens * 0.72, lens * 0.72), QPointF(c.x() + g, c.y() + g));
  } else if (s == "contactsbuttontext") {
    // Two speech bubbles.
    const double b = r * 0.95;
    QPainterPath bubble;
    const QRectF back(c.x() - b * 0.15, c.y() - b * 0.85, b * 1.1, b * 0.8);
    bubble.addRoundedRect(back, b * 0.25, b * 0.25);
    p.drawPath(bubble);
    QPainterPath front;
    const QRectF body(c.x() - b, c.y() - b * 0.35, b * 1.25, b * 0.9);
    front.addRoundedRect(body, b * 0.25, b * 0.25);
    front.moveTo(c.x() - b * 0.6, body.bottom());
    front.lineTo(c.x() - b * 0.75, body.bottom() + b * 0.4);
    front.lineTo(c.x() - b * 0.25, body.bottom());
    p.setBrush(g_light_text_colors ? QColor(246, 247, 249) : QColor(14, 17, 23));
    p.drawPath(front);
  }
}

void TStyledButton::paintEvent(QPaintEvent* event) {
  const bool listitem = FStyleLookup == "listitembutton";
  const bool tall = FStyleLookup.endsWith("buttontext");
  if (!IsIconStyle() && !listitem && !tall) {
    QPushButton::paintEvent(event);
    return;
  }
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  if (!isEnabled()) p.setOpacity(0.35);
  const bool hot = underMouse() && isEnabled();
  const bool down = isDown();

  if (IsIconStyle()) {
    // The circle keeps to the left part of the box, so that a button placed at the very
    // edge of its parent still shows whole.
    const int side = std::min(width(), height());
    const double d = std::floor(side * 0.6);
    const QRectF circle(1.5, (height() - d) / 2.0, d, d);
    QColor line = g_light_text_colors ? QColor(0x3A, 0x43, 0x52) : kOutline;
    const QColor hot_line = g_light_text_colors ? QColor(0x4F, 0x7D, 0x12) : kHot;
    if (hot) line = (FStyleLookup == "closebutton") ? QColor(0xFF, 0x6B, 0x5E) : hot_line;
    if (down) p.setBrush(QColor(0xAD, 0xFF, 0x2F, 70));
    p.setPen(QPen(line, 1.4));
    p.drawEllipse(circle);
    PaintGlyph(p, circle, line);
    if (hasFocus()) PaintFocusRing(p, circle.adjusted(-3, -3, 3, 3), d / 2 + 3);
    return;
  }

  if (listitem) {
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor edge = g_light_text_colors ? QColor(0, 0, 0, 80) : QColor(255, 255, 255, 70);
    p.setPen(QPen(hot ? kHot : edge, 1));
    p.setBrush(down ? QColor(0xAD, 0xFF, 0x2F, 40)
                    : (g_light_text_colors ? QColor(255, 255, 255, 230) : QColor(255, 255, 255, 20)));
    p.drawRoundedRect(body, 4, 4);
    p.setPen(g_light_text_colors ? QColor(0x1D, 0x23, 0x30) : QColor(235, 235, 235));
    p.setFont(font());
    const QRect area = rect().adjusted(9, 0, -9, 0);
    p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    if (hasFocus()) PaintFocusRing(p, body, 4);
    return;
  }

  // Tall buttons: an icon over the text, in a body that keeps clear of the right edge.
  const QRectF body = QRectF(rect()).adjusted(1.5, 1.5, -6.5, -1.5);
  const bool light = g_light_text_colors;
  QColor accent = light ? QColor(0x4F, 0x7D, 0x12) : kHot;
  if (FStyleLookup == "applybuttontext") accent = light ? QColor(0xB0, 0x60, 0x00) : QColor(0xFF, 0xB3, 0x47);
  if (FStyleLookup == "contactsbuttontext") accent = light ? QColor(0x1F, 0x6F, 0x9F) : QColor(0x87, 0xCE, 0xEB);
  p.setPen(QPen(hot ? accent : (light ? QColor(0, 0, 0, 90) : QColor(255, 255, 255, 80)), 1.2));
  p.setBrush(down ? QColor(accent.red(), accent.green(), accent.blue(), 60)
                  : (light ? QColor(255, 255, 255, 200) : QColor(255, 255, 255, 16)));
  p.drawRoundedRect(body, 8, 8);
  const double d = 24;
  const QRectF icon(body.center().x() - d / 2, body.top() + 6, d, d);
  if (FStyleLookup != "contactsbuttontext") {
    p.setPen(QPen(accent, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(icon);
  }
  PaintGlyph(p, icon, accent);
  QFont f = font();
  f.setBold(true);
  f.setPixelSize(12);
  p.setFont(f);
  p.setPen(light ? QColor(0x1D, 0x23, 0x30) : QColor(240, 240, 240));
  p.drawText(QRectF(body.left() + 4, icon.bottom() + 1, body.width() - 8,
                    body.bottom() - icon.bottom() - 2),
             Qt::AlignCenter | Qt::TextWordWrap, text());
  if (hasFocus()) PaintFocusRing(p, body, 8);
}

// ---------------------------------------------------------------------------------------

void TComboBox::wheelEvent(QWheelEvent* event) { event->ignore(); }

void TComboBox::paintEvent(QPaintEvent* event) {
  QComboBox::paintEvent(event);
  // The arrow of the list, drawn over the style sheet's empty drop-down button.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QColor color = underMouse() && isEnabled() ? kHot : QColor(0xC9, 0xCE, 0xD6);
  if (!isEnabled()) color.setAlpha(90);
  p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QPointF c(width() - 14.5, height() / 2.0 + 1);
  p.drawPolyline(QPolygonF({c + QPointF(-4.5, -2.5), c + QPointF(0, 2), c + QPointF(4.5, -2.5)}));
}

// ---------------------------------------------------------------------------------------

TLinkButton::TLinkButton(const QString& text, QColor normal, QColor hot, QColor pressed,
                         int pixel_size, QWidget* parent)
    : QPushButton(text, parent), FNormal(normal), FHot(hot), FPressed(pressed) {
  setCursor(Qt::PointingHandCursor);
  setFlat(true);
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(text);
  QFont f = font();
  f.setPixelSize(pixel_size);
  setFont(f);
  setProperty("styleLookup", "link");
}

QColor TLinkButton::CurrentColor() const {
  if (isDown()) return FPressed;
  if (underMouse()) return FHot;
  return FNormal;
}

void TLinkButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont f = font();
  f.setUnderline(underMouse());
  p.setFont(f);
  p.setPen(CurrentColor());
  p.drawText(rect(), Qt::AlignCenter, text());
  if (hasFocus()) PaintFocusRing(p, QRectF(rect()), 4);
}

void TLinkButton::keyPressEvent(QKeyEvent* event) {
  if (IsActivationKey(event) && isEnabled()) {
    animateClick();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void TLinkButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  update();
  emit Entered();
}

void TLinkButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  update();
  emit Left();
}

// ---------------------------------------------------------------------------------------

TClickRect::TClickRect(QColor fill, const QString& text, QWidget* parent)
    : QFrame(parent), FFill(fill), FLabel(new QLabel(text, this)) {
  FLabel->setAlignment(Qt::AlignCenter);
  FLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
  setCursor(Qt::PointingHandCursor);
  // A button for the keyboard and for screen readers too.
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(text);
}

void TClickRect::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || IsActivationKey(event)) {
    if (!event->isAutoRepeat()) {
      emit Pressed();
      emit Released();
      emit Clicked();
    }
    return;
  }
  QFrame::keyPressEvent(event);
}

void TClickRect::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void TClickRect::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}

void TClickRect::SetFill(QColor fill) {
  FFill = fill;
  update();
}

void TClickRect::SetBorderVisible(bool visible) {
  FBorder = visible;
  update();
}

void TClickRect::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), FFill);
  if (FBorder) {
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  }
  if (hasFocus()) PaintFocusRing(p, QRectF(rect()).adjusted(1, 1, -1, -1), 2);
}

void TClickRect::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  FLabel->setGeometry(rect());
}

void TClickRect::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit Pressed();
}

void TClickRect::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  emit Released();
  if (rect().contains(event->position().toPoint())) emit Clicked();
}

void TClickRect::enterEvent(QEnterEvent*) { emit Entered(); }
void TClickRect::leaveEvent(QEvent*) { emit Left(); }

// ---------------------------------------------------------------------------------------

TDragMover::TDragMover(QWidget* handle) : QObject(handle), FHandle(handle) {
  handle->installEventFilter(this);
}

bool TDragMover::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FHandle) return false;
  QWidget* window = FHandle->window();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() != Qt::LeftButton) return false;
      FMoving = true;
      FMovPoint = e->position().toPoint();
      return true;
    }
    case QEvent::MouseMove: {
      if (!FMoving) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      // The window follows the pointer by as much as it moved since the press.
      window->move(window->pos() + (e->position().toPoint() - FMovPoint));
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (!FMoving) return false;
      FMoving = false;
      FMovPoint = QPoint(0, 0);
      return true;
    case QEvent::Leave:
      if (FMoving) window->move(QCursor::pos() - FMovPoint);
      return false;
    default:
      return false;
  }
}

QWidget* MakeFramelessWindow(QWidget* window, Qt::WindowType kind, const char* name, QSize size,
                             const char* panel_name, QRect panel, TDragMover*& mover) {
  window->setObjectName(name);
  window->setWindowTitle("Quorvane");
  window->setWindowFlags(kind | Qt::FramelessWindowHint);
  window->setAttribute(Qt::WA_TranslucentBackground);
  window->setFixedSize(size);
  auto* background = new QWidget(window);
  background->setObjectName(panel_name);
  background->setAttribute(Qt::WA_StyledBackground);
  background->setGeometry(panel);
  mover = new TDragMover(background);
  return background;
}

}  // namespace quorvane
