// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// The window's own controls and look helpers: buttons drawn by style name, text links,
// clickable tiles, dragging a borderless window by its background, colours and opacity.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QPoint>
#include <QPushButton>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QGraphicsOpacityEffect;
class QLabel;

namespace quorvane {

// Colours the window uses, as 32-bit ARGB.
inline constexpr std::uint32_t kGreenYellow = 0xFFADFF2F;
inline constexpr std::uint32_t kRed = 0xFFFF0000;
inline constexpr std::uint32_t kWhite = 0xFFFFFFFF;
inline constexpr std::uint32_t kBlack = 0xFF000000;

QColor ArgbColor(std::uint32_t argb);

// A widget's opacity through an opacity effect (1 when it has none).
void SetOpacity(QWidget* widget, double opacity);
double Opacity(const QWidget* widget);
QGraphicsOpacityEffect* OpacityEffect(QWidget* widget);

// Lets the interface process pending events for about `ms` milliseconds; a step of a
// timed animation.
void AnimationPause(int ms);

// Opens a web address or document: through the window's OpenUrl service once a window
// has set one, else through the desktop.
void SetUiUrlOpener(std::function<void(const std::string&)> opener);
void OpenUiUrl(const std::string& url);

// A push button drawn after its style name: round icon buttons ("closebutton",
// "removebutton", "refreshbutton", "searchbutton", "cancelbutton", "roundbutton",
// "applybutton"), tall buttons with an icon over their text ("contactsbuttontext",
// "addbuttontext", "applybuttontext"), and a list item showing a long text shortened in
// the middle ("listitembutton"). Other names are drawn by the style sheet.
class TStyledButton : public QPushButton {
  Q_OBJECT
 public:
  TStyledButton(const QString& style_lookup, const QString& text, QWidget* parent);
  void SetStyleLookup(const QString& style_lookup);
  QString StyleLookup() const { return FStyleLookup; }
  // Draws the button at this share of its nominal size (its geometry is scaled too).
  void SetScale(double scale);
  double Scale() const { return FScale; }
  // Places the button with its nominal (unscaled) size.
  void Place(int x, int y, int w, int h);

 protected:
  // Enter and Return press the button, as Space does.
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool IsIconStyle() const;
  void PaintGlyph(QPainter& p, const QRectF& box, const QColor& color);

  QString FStyleLookup;
  double FScale = 1;
};

// A button drawn as a text link whose colour follows the pointer: normal, hot, pressed.
class TLinkButton : public QPushButton {
  Q_OBJECT
 public:
  TLinkButton(const QString& text, QColor normal, QColor hot, QColor pressed, int pixel_size,
              QWidget* parent);
  QColor CurrentColor() const;

 signals:
  void Entered();
  void Left();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor FNormal, FHot, FPressed;
};

// A filled rectangle with a centred label that reacts to the pointer like a button.
class TClickRect : public QFrame {
  Q_OBJECT
 public:
  TClickRect(QColor fill, const QString& text, QWidget* parent);
  QLabel* Label() const { return FLabel; }
  void SetFill(QColor fill);
  QColor Fill() const { return FFill; }
  void SetBorderVisible(bool visible);

 signals:
  void Clicked();
  void Pressed();
  void Released();
  void Entered();
  void Left();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Space and Enter press, release and click it, as a pointer would.
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QColor FFill;
  QLabel* FLabel;
  bool FBorder = false;
};

class TDragMover;

// Makes `window` a frameless, translucent window of `kind` (Qt::Window or Qt::Dialog)
// titled "Quorvane" with a fixed `size`, and gives it its styled background panel
// `panel_name` at `panel`; the window is dragged by that panel through `mover`.
QWidget* MakeFramelessWindow(QWidget* window, Qt::WindowType kind, const char* name, QSize size,
                             const char* panel_name, QRect panel, TDragMover*& mover);

// Drags the window of `handle` while the left button is held on it.
class TDragMover : public QObject {
  Q_OBJECT
 public:
  explicit TDragMover(QWidget* handle);
  bool Moving() const { return FMoving; }
  QPoint MovPoint() const { return FMovPoint; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* FHandle;
  bool FMoving = false;
  QPoint FMovPoint;
};

// A drop-down list that leaves the mouse wheel to its parents, so that scrolling over it
// scrolls the window instead of changing the choice.
class TComboBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// A plain message with an OK button, modal over `parent`.
void ShowPlainMessage(QWidget* parent, const QString& text);

// Sets a widget's text colour (ARGB) through its own style sheet.
void SetTextColor(QWidget* widget, std::uint32_t argb);
// The colours SetTextColor gives from now on suit the light look (true) or the dark one.
void UseLightSchemeTextColors(bool light);

}  // namespace quorvane
