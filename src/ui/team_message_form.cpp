// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
#include "ui/team_message_form.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>

#include "common/constants.h"
#include "common/session_state.h"
#include "ui/widgets.h"

namespace quorvane {

namespace {

constexpr int kFadeMs = 200;
constexpr int kMessageRectHeight = 204;
constexpr int kMaxMessageLength = 10000;

const char* const kSubject = "Subject";
const char* const kEmail = "Contact Email";
const char* const kNick = "Forum NickName";

constexpr TCommunity kKinds[] = {TCommunity::CommBugReport, TCommunity::CommSuggestion,
                                 TCommunity::CommGratitude, TCommunity::CommOther};

QColor KindColor(TCommunity kind) {
  switch (kind) {
    case TCommunity::CommBugReport:
      return QColor("orangered");
    case TCommunity::CommGratitude:
      return QColor("forestgreen");
    case TCommunity::CommSuggestion:
      return QColor("slateblue");
    case TCommunity::CommOther:
      return QColor("goldenrod");
    case TCommunity::CommNone:
      break;
  }
  return QColor("gray");
}

// The memo holds line feeds; the texts of the form and the wire use CR LF.
QString ToMemo(const QString& text) {
  QString t = text;
  return t.replace("\r\n", "\n");
}

QString FromMemo(const QString& text) {
  QString t = text;
  return t.replace("\n", "\r\n");
}

void SetPixelFont(QWidget* widget, int pixel_size, bool bold = false) {
  QFont f = widget->font();
  f.setPixelSize(pixel_size);
  f.setBold(bold);
  widget->setFont(f);
}

}  // namespace

TFoldPanel::TFoldPanel(int full_height, QWidget* parent)
    : QWidget(parent), FFullHeight(full_height) {}

void TFoldPanel::SetFoldScale(double scale) {
  FScale = scale;
  resize(width(), static_cast<int>(FFullHeight * scale + 0.5));
}

TTeamMessageForm::TTeamMessageForm(TFeedbackSender sender, QWidget* parent)
    : QWidget(parent), FSender(std::move(sender)) {
  MainRect = MakeFramelessWindow(this, Qt::Window, "TTeamMessageForm", QSize(574, 318),
                                 "MainRect", QRect(0, 0, 574, 320), FMover);

  InfoLbl = new QLabel(KindInfoText(TCommunity::CommNone), this);
  InfoLbl->setObjectName("InfoLbl");
  InfoLbl->setGeometry(11, 3, 526, 33);
  InfoLbl->setAttribute(Qt::WA_TransparentForMouseEvents);
  SetPixelFont(InfoLbl, 15);

  EscRect = new TClickRect(QColor("tan"), "Esc", this);
  EscRect->setObjectName("EscRect");
  EscRect->Label()->setObjectName("EscLbl");
  EscRect->setGeometry(525, -5, 50, 33);
  EscRect->Label()->setContentsMargins(0, 5, 0, 0);
  SetPixelFont(EscRect->Label(), 15, true);
  SetTextColor(EscRect->Label(), kBlack);
  SetOpacity(EscRect, 0.75);
  connect(EscRect, &TClickRect::Clicked, this, [this] { EscRectClick(); });
  connect(EscRect, &TClickRect::Entered, this, [this] { SetOpacity(EscRect, 1); });
  connect(EscRect, &TClickRect::Left, this, [this] { SetOpacity(EscRect, 0.75); });
  connect(EscRect, &TClickRect::Pressed, this, [this] { SetTextColor(EscRect->Label(), kWhite); });
  connect(EscRect, &TClickRect::Released, this, [this] { SetTextColor(EscRect->Label(), kBlack); });

  auto tile = [this](TCommunity kind, const char* text, const char* name) {
    auto* rect = new TClickRect(KindColor(kind), text, this);
    rect->setObjectName(QString(name) + "Rect");
    rect->Label()->setObjectName(QString(name) + "Lbl");
    return rect;
  };
  BugRect = tile(TCommunity::CommBugReport, "Bug", "Bug");
  SuggestionRect = tile(TCommunity::CommSuggestion, "Advice", "Suggestion");
  GratitudeRect = tile(TCommunity::CommGratitude, "Gratitude", "Gratitude");
  OtherRect = tile(TCommunity::CommOther, "Other", "Other");
  for (TCommunity kind : kKinds) WireTile(kind);

  MessageRect = new TFoldPanel(kMessageRectHeight, this);
  MessageRect->setObjectName("MessageRect");
  MessageRect->setGeometry(11, 85, 553, kMessageRectHeight);

  SubjEdit = new QLineEdit(kSubject, MessageRect);
  SubjEdit->setObjectName("SubjEdit");
  SubjEdit->setMaxLength(100);
  SubjEdit->setGeometry(0, 1, 553, 30);
  MessageMemo = new QPlainTextEdit("Enter your message here", MessageRect);
  MessageMemo->setObjectName("MessageMemo");
  MessageMemo->setGeometry(0, 32, 553, 140);
  EmailEdit = new QLineEdit(kEmail, MessageRect);
  EmailEdit->setObjectName("EmailEdit");
  EmailEdit->setMaxLength(100);
  EmailEdit->setGeometry(0, 173, 276, 30);
  NickNameEdit = new QLineEdit(kNick, MessageRect);
  NickNameEdit->setObjectName("NickNameEdit");
  NickNameEdit->setMaxLength(100);
  NickNameEdit->setGeometry(280, 173, 156, 30);
  SetPixelFont(NickNameEdit, 13);
  WireInput(SubjEdit, kSubject, "Without subject we can't post you message to forum ;)");
  WireInput(EmailEdit, kEmail, "You may specify email to be able to feedback by mail");
  WireInput(NickNameEdit, kNick, "You may specify NickName for forum posts");
  MessageMemo->installEventFilter(this);
  MessageMemo->viewport()->installEventFilter(this);
  connect(MessageMemo, &QPlainTextEdit::textChanged, this, [this] {
    const QString text = MessageMemo->toPlainText();
    if (text.size() <= kMaxMessageLength) return;
    SetMemoText(text.left(kMaxMessageLength));
    MessageMemo->moveCursor(QTextCursor::End);
  });

  PostMsgBtn = new TClickRect(QColor("gray"), "Post", MessageRect);
  PostMsgBtn->setObjectName("PostMsgBtn");
  PostMsgBtn->Label()->setObjectName("PostMsgLbl");
  PostMsgBtn->setGeometry(440, 172, 113, 32);
  PostMsgBtn->SetBorderVisible(true);
  SetPixelFont(PostMsgBtn->Label(), 15, true);
  SetTextColor(PostMsgBtn->Label(), kWhite);
  auto release_look = [this] {
    SetTextColor(PostMsgBtn->Label(), kWhite);
    PostMsgBtn->SetBorderVisible(true);
  };
  connect(PostMsgBtn, &TClickRect::Pressed, this, [this] {
    SetTextColor(PostMsgBtn->Label(), kBlack);
    PostMsgBtn->SetBorderVisible(false);
  });
  connect(PostMsgBtn, &TClickRect::Released, this, release_look);
  connect(PostMsgBtn, &TClickRect::Left, this, release_look);
  connect(PostMsgBtn, &TClickRect::Clicked, this, [this] { PostMsgBtnClick(); });

  GoForumBtn = new TLinkButton("Go to my posts on the forum", QColor("skyblue"), QColor("aqua"),
                               QColor("steelblue"), 13, this);
  GoForumBtn->setObjectName("GoForumBtn");
  GoForumBtn->setGeometry(176, 291, 225, 22);
  connect(GoForumBtn, &QPushButton::clicked, this, [this] { GoForumBtnClick(); });

  // Start: no kind chosen, each kind's text its placeholder, the four large tiles.
  FState = TCommunity::CommNone;
  FLocked = false;
  FBugMessage = KindPlaceholder(TCommunity::CommBugReport);
  FGratMessage = KindPlaceholder(TCommunity::CommGratitude);
  FAdviceMessage = KindPlaceholder(TCommunity::CommSuggestion);
  FOtherMessage = KindPlaceholder(TCommunity::CommOther);
  PlaceTiles();
  for (TCommunity kind : kKinds) SetOpacity(Tile(kind), 0.75);
  MessageRect->SetFoldScale(0.001);
  MessageRect->hide();
}

TClickRect* TTeamMessageForm::Tile(TCommunity kind) const {
  switch (kind) {
    case TCommunity::CommBugReport:
      return BugRect;
    case TCommunity::CommGratitude:
      return GratitudeRect;
    case TCommunity::CommSuggestion:
      return SuggestionRect;
    case TCommunity::CommOther:
      return OtherRect;
    case TCommunity::CommNone:
      break;
  }
  return nullptr;
}

QString* TTeamMessageForm::KeptText(TCommunity kind) {
  switch (kind) {
    case TCommunity::CommBugReport:
      return &FBugMessage;
    case TCommunity::CommGratitude:
      return &FGratMessage;
    case TCommunity::CommSuggestion:
      return &FAdviceMessage;
    case TCommunity::CommOther:
      return &FOtherMessage;
    case TCommunity::CommNone:
      break;
  }
  return nullptr;
}

void TTeamMessageForm::SetMemoText(const QString& text) {
  const QSignalBlocker quiet(MessageMemo);
  MessageMemo->setPlainText(ToMemo(text));
}

std::string TTeamMessageForm::MessageText() const {
  return FromMemo(MessageMemo->toPlainText()).toStdString();
}

bool TTeamMessageForm::MemoShowsPlaceholder() const {
  const QString text = QString::fromStdString(MessageText());
  for (TCommunity kind : kKinds)
    if (text == KindPlaceholder(kind)) return true;
  return text == KindPlaceholder(TCommunity::CommNone);
}

void TTeamMessageForm::StoreKindText() {
  QString* kept = KeptText(FState);
  if (!kept) return;
  const QString text = QString::fromStdString(MessageText());
  *kept = text.isEmpty() ? QString(KindPlaceholder(FState)) : text;
}

void TTeamMessageForm::SetTileLook(TCommunity kind, const char* style, int label_margin) {
  QLabel* label = Tile(kind)->Label();
  label->setProperty("styleLookup", style);
  const bool title = QString(style) == "flipviewtitlelabel";
  SetPixelFont(label, title ? 26 : 15, true);
  label->setContentsMargins(label_margin, 0, 0, 0);
}

void TTeamMessageForm::FadeIn(QWidget* widget, double to, const std::function<void()>& finished) {
  auto* animation = new QPropertyAnimation(OpacityEffect(widget), "opacity", this);
  animation->setDuration(kFadeMs);
  animation->setStartValue(0.0);
  animation->setEndValue(to);
  if (finished) connect(animation, &QPropertyAnimation::finished, this, finished);
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void TTeamMessageForm::ChooseKind(TCommunity kind) {
  if (kind == TCommunity::CommNone) return;
  const TCommunity previous = FState;
  StoreKindText();
  SetMemoText(*KeptText(kind));
  FState = kind;
  InfoLbl->setText(KindInfoText(kind));
  PostMsgBtn->SetFill(KindColor(kind));
  for (TCommunity other : kKinds) {
    SetTextColor(Tile(other)->Label(), other == kind ? kBlack : kWhite);
    SetOpacity(Tile(other), other == kind ? 1 : 0.75);
  }
  if (previous == TCommunity::CommNone) ShowMessagePanel();
}

void TTeamMessageForm::ShowMessagePanel() {
  if (FState == TCommunity::CommNone) return;
  FLocked = true;
  BugRect->setGeometry(11, 45, 138, 40);
  SuggestionRect->setGeometry(149, 45, 138, 40);
  GratitudeRect->setGeometry(287, 45, 139, 40);
  OtherRect->setGeometry(426, 45, 138, 40);
  for (TCommunity kind : kKinds) {
    SetTileLook(kind, "pagesubheaderlabel", kind == TCommunity::CommSuggestion ? 6 : 0);
    std::function<void()> done;
    if (kind == TCommunity::CommOther) done = [this] { FLocked = false; };
    FadeIn(Tile(kind), kind == FState ? 1 : 0.75, done);
  }
  MessageRect->show();
  MessageRect->raise();
  auto* unfold = new QPropertyAnimation(MessageRect, "foldScale", this);
  unfold->setDuration(kFadeMs);
  unfold->setStartValue(0.0);
  unfold->setEndValue(1.0);
  unfold->start(QAbstractAnimation::DeleteWhenStopped);
}

void TTeamMessageForm::PlaceTiles() {
  BugRect->setGeometry(11, 45, 273, 118);
  SuggestionRect->setGeometry(291, 45, 273, 118);
  GratitudeRect->setGeometry(11, 170, 273, 118);
  OtherRect->setGeometry(291, 170, 273, 118);
  for (TCommunity kind : kKinds) {
    SetTileLook(kind, "flipviewtitlelabel", kind == TCommunity::CommSuggestion ? 10 : 0);
    SetTextColor(Tile(kind)->Label(), kWhite);
  }
}

void TTeamMessageForm::ShowTiles() {
  PlaceTiles();
  for (TCommunity kind : kKinds) {
    std::function<void()> done;
    if (kind == TCommunity::CommBugReport)
      done = [this] {
        if (FState == TCommunity::CommNone) FLocked = false;
      };
    FadeIn(Tile(kind), 0.75, done);
  }
  MessageRect->SetFoldScale(0.005);
  MessageRect->hide();
}

void TTeamMessageForm::EscRectClick() {
  if (FState == TCommunity::CommNone) {
    close();
    return;
  }
  if (FLocked) return;
  StoreKindText();
  FState = TCommunity::CommNone;
  InfoLbl->setText(KindInfoText(TCommunity::CommNone));
  ShowTiles();
}

void TTeamMessageForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  // The Esc tile lights up briefly, then acts as if clicked.
  auto* flash = new QPropertyAnimation(OpacityEffect(EscRect), "opacity", this);
  flash->setDuration(50);
  flash->setEndValue(1.0);
  connect(flash, &QPropertyAnimation::finished, this, [this] {
    SetOpacity(EscRect, 0.75);
    EscRectClick();
  });
  flash->start(QAbstractAnimation::DeleteWhenStopped);
}

void TTeamMessageForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FCentred) return;
  FCentred = true;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TTeamMessageForm::WireTile(TCommunity kind) {
  TClickRect* tile = Tile(kind);
  connect(tile, &TClickRect::Clicked, this, [this, kind] { ChooseKind(kind); });
  connect(tile, &TClickRect::Entered, this, [this, tile, kind] {
    SetOpacity(tile, 1);
    if (FState == TCommunity::CommNone) InfoLbl->setText(KindInfoText(kind));
  });
  connect(tile, &TClickRect::Left, this, [this, tile, kind] {
    if (kind != FState) SetOpacity(tile, 0.75);
    if (FState == TCommunity::CommNone) {
      SetTextColor(tile->Label(), kWhite);
      InfoLbl->setText(KindInfoText(TCommunity::CommNone));
    }
  });
  connect(tile, &TClickRect::Pressed, this, [tile] { SetTextColor(tile->Label(), kBlack); });
  connect(tile, &TClickRect::Released, this, [this, tile, kind] {
    if (kind != FState) SetTextColor(tile->Label(), kWhite);
  });
}

void TTeamMessageForm::WireInput(QLineEdit* edit, const char* placeholder, const char* hint) {
  edit->setProperty("placeholder", placeholder);
  edit->setProperty("hint", hint);
  edit->installEventFilter(this);
}

bool TTeamMessageForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
    const QString placeholder = edit->property("placeholder").toString();
    if (type == QEvent::MouseButtonPress && edit->text() == placeholder) edit->clear();
    if (type == QEvent::FocusOut && edit->text().isEmpty()) edit->setText(placeholder);
    if (type == QEvent::Enter) {
      FPrevInfo = InfoLbl->text();
      InfoLbl->setText(edit->property("hint").toString());
    }
    if (type == QEvent::Leave) InfoLbl->setText(FPrevInfo);
    return false;
  }
  if (watched == MessageMemo || watched == MessageMemo->viewport()) {
    // A placeholder gives way to the first press or key.
    if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && MemoShowsPlaceholder())
      SetMemoText("");
    if (type == QEvent::FocusOut && watched == MessageMemo &&
        MessageMemo->toPlainText().isEmpty())
      SetMemoText(KindPlaceholder(FState));
  }
  return false;
}

void TTeamMessageForm::PostMsgBtnClick() {
  if (FPosting || !PostMsgBtn->isEnabled()) return;
  PostMsgBtn->setEnabled(false);
  const std::string subject = SubjEdit->text().toStdString();
  const std::string email = EmailEdit->text().toStdString();
  const std::string nick = NickNameEdit->text().toStdString();
  const std::string text = MessageText();
  const TCommunity kind = FState;
  TFeedbackSender sender = FSender;
  FPosting = true;
  try {
    QThread* thread = QThread::create([sender, subject, email, nick, kind, text] {
      try {
        if (sender) sender(subject, email, nick, kind, text);
      } catch (...) {
      }
    });
    // The form hears of the end on its own thread; a form gone by then hears nothing.
    connect(thread, &QThread::finished, this, [this] { OnPostFinished(); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
  } catch (...) {
    OnPostFinished();
  }
}

void TTeamMessageForm::OnPostFinished() {
  FPosting = false;
  SubjEdit->setText(kSubject);
  PostMsgBtn->setEnabled(true);
  emit PostFinished();
}

void TTeamMessageForm::GoForumBtnClick() { OpenUiUrl(std::string(kSiteForumUrl) + GetSessionId()); }

}  // namespace quorvane
