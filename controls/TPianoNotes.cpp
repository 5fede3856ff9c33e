#include "controls/TPianoNotes.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/KWPianoKeyboard.h"
#include "dsp/NoteNumbers.h"

namespace tg {

TPianoNotes::TPianoNotes(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      keyboard_(new KWPianoKeyboard(this)),
      name_(new QLabel(this)) {
  setWindowTitle("Select A Note...");
  keyboard_->setFixedHeight(65);
  keyboard_->SetAutoSize(true);
  keyboard_->installEventFilter(this);
  auto* cancel = new QPushButton("Cancel", this);
  name_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  name_->setAlignment(Qt::AlignCenter);
  name_->setMinimumWidth(40);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(name_);
  bottom->addWidget(cancel, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(keyboard_);
  layout->addLayout(bottom);
  connect(cancel, &QPushButton::clicked, this, [this] { Finish(-1); });
  connect(keyboard_, &KWPianoKeyboard::OnChange, this, [this] { name_->setText(NoteText()); });
}

QString TPianoNotes::NoteText() const {
  const int key = keyboard_->SelectedKey();
  return key > 0 ? QString::fromStdString(NoteName(key)) : QString();
}

void TPianoNotes::Prepare(QPoint screenPoint, int currentKey, int bottomKey, int keyRange) {
  keyboard_->SetBottomKey(bottomKey);
  keyboard_->SetKeyRange(keyRange);
  keyboard_->resize(keyboard_->sizeHint().width(), 65);
  keyboard_->SetSelectedKey(currentKey);
  name_->setText(NoteText());
  adjustSize();
  QRect frame(QPoint(0, 0), sizeHint().expandedTo(size()));
  frame.moveCenter(screenPoint);
  QScreen* screen = QGuiApplication::screenAt(screenPoint);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    frame.moveLeft(std::clamp(frame.left(), area.left(),
                              std::max(area.left(), area.right() - frame.width() + 1)));
    frame.moveTop(std::clamp(frame.top(), area.top(),
                             std::max(area.top(), area.bottom() - frame.height() + 1)));
  }
  move(frame.topLeft());
  result_ = -1;
  finished_ = false;
}

void TPianoNotes::Finish(int key) {
  if (finished_) return;
  finished_ = true;
  result_ = key;
  if (key > 0) {
    accept();
  } else {
    reject();
  }
}

int TPianoNotes::Pick(QPoint screenPoint, int currentKey, int bottomKey, int keyRange,
                      QWidget* parent) {
  TPianoNotes picker(parent);
  picker.Prepare(screenPoint, currentKey, bottomKey, keyRange);
  picker.exec();
  return picker.Result();
}

bool TPianoNotes::eventFilter(QObject* watched, QEvent* event) {
  if (watched == keyboard_ && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (keyboard_->rect().contains(mouse->position().toPoint()) && keyboard_->SelectedKey() > 0)
      Finish(keyboard_->SelectedKey());
  }
  return QDialog::eventFilter(watched, event);
}

void TPianoNotes::changeEvent(QEvent* event) {
  // Losing the focus counts as cancelling.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) Finish(-1);
  QDialog::changeEvent(event);
}

}  // namespace tg
