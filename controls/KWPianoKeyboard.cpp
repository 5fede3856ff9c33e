#include "controls/KWPianoKeyboard.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/PixelLines.h"

namespace tg {

namespace {
// The white-key index within the octave of each pitch class, and whether it is black.
constexpr int kWhiteIndex[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
constexpr bool kBlack[12] = {false, true,  false, true,  false, false,
                             true,  false, true,  false, true,  false};
}  // namespace

KWPianoKeyboard::KWPianoKeyboard(QWidget* parent) : QWidget(parent) {
  setMinimumSize(40, 30);
  SelectOnly(bottomKey_);
}

bool KWPianoKeyboard::IsBlack(int key) { return kBlack[key % 12]; }

QSize KWPianoKeyboard::sizeHint() const { return {whiteWidth_ * (keyRange_ * 7 / 12 + 1) + 3, 65}; }

void KWPianoKeyboard::Measure() {
  whiteWidth_ = std::max(1, static_cast<int>((height() - 2) * 0.173));
  blackWidth_ = static_cast<int>(whiteWidth_ * 0.75);
  if (blackWidth_ % 2 == 0) ++blackWidth_;
  blackHeight_ = static_cast<int>((height() - 2) * 0.6);
  if (autoSize_) {
    int top = std::min(127, bottomKey_ + keyRange_);
    while (top < 127 && top % 12 != 11) ++top;
    keyRange_ = top - bottomKey_;
    const int width = static_cast<int>((keyRange_ + 1) / 12.0 * 7) * whiteWidth_ + 3;
    if (width != this->width()) setFixedWidth(width);
  }
}

void KWPianoKeyboard::resizeEvent(QResizeEvent*) { Measure(); }

int KWPianoKeyboard::ScrollOffset() const {
  return whiteWidth_ * (7 * (bottomKey_ / 12) + kWhiteIndex[bottomKey_ % 12]);
}

QRect KWPianoKeyboard::KeyRect(int key) const {
  const int octaveX = 7 * whiteWidth_ * (key / 12) - ScrollOffset() + 2;
  const int pitch = key % 12;
  if (!kBlack[pitch])
    return {octaveX + kWhiteIndex[pitch] * whiteWidth_, 1, whiteWidth_, height() - 2};
  const int half = blackWidth_ / 2;
  static constexpr int kShift[12] = {0, -1, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0};
  const int x = (kWhiteIndex[pitch] + 1) * whiteWidth_ - half + kShift[pitch];
  return {octaveX + x, 1, blackWidth_, blackHeight_};
}

int KWPianoKeyboard::KeyAt(QPoint point) const {
  if (point.x() <= 1 || point.x() > width() - 4) return -1;
  const int shifted = point.x() - 2 + ScrollOffset();
  const int white = shifted / whiteWidth_;
  const int octave = white / 7;
  if (point.y() < blackHeight_) {
    for (int pitch : {1, 3, 6, 8, 10}) {
      const int key = octave * 12 + pitch;
      if (key < 128 && KeyRect(key).contains(point.x(), point.y())) return key;
    }
  }
  static constexpr int kWhiteKeys[7] = {0, 2, 4, 5, 7, 9, 11};
  const int key = octave * 12 + kWhiteKeys[white % 7];
  return key < 128 ? key : -1;
}

void KWPianoKeyboard::Select(int key, bool on) {
  if (key < 0 || key >= 128 || flags_[static_cast<size_t>(key)] == on) return;
  flags_[static_cast<size_t>(key)] = on;
  if (on) {
    selected_.insert(std::lower_bound(selected_.begin(), selected_.end(), key), key);
  } else {
    selected_.erase(std::remove(selected_.begin(), selected_.end(), key), selected_.end());
  }
  update(KeyRect(key).adjusted(-whiteWidth_, 0, whiteWidth_, 0));
}

void KWPianoKeyboard::SelectOnly(int key) {
  for (int k : std::vector<int>(selected_)) {
    if (k != key) Select(k, false);
  }
  Select(key, true);
}

int KWPianoKeyboard::SelectedKey() const { return selected_.size() == 1 ? selected_.front() : 0; }

void KWPianoKeyboard::SetSelectedKey(int key) {
  if (key >= 0 && key < 128) SelectOnly(key);
}

int KWPianoKeyboard::SelectedKeysAt(int index) const {
  return index < 0 || index >= static_cast<int>(selected_.size())
             ? 0
             : selected_[static_cast<size_t>(index)];
}

void KWPianoKeyboard::SetBottomKey(int key) {
  if (key < 1 || key > 127) return;
  bottomKey_ = key;
  for (int k : std::vector<int>(selected_)) {
    if (k < key) Select(k, false);
  }
  if (mode_ == InputMode::Single && selected_.empty()) Select(key, true);
  Measure();
  update();
}

void KWPianoKeyboard::SetKeyRange(int range) {
  keyRange_ = std::clamp(range, 1, 127);
  Measure();
  updateGeometry();
  update();
}

void KWPianoKeyboard::SetInputMode(InputMode mode) {
  mode_ = mode;
  if (mode == InputMode::Momentary) {
    for (int k : std::vector<int>(selected_)) Select(k, false);
  } else if (mode == InputMode::Single) {
    SelectOnly(selected_.empty() ? bottomKey_ : selected_.front());
  }
}

void KWPianoKeyboard::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  Measure();
}

void KWPianoKeyboard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Window));
  const int last = std::min(127, bottomKey_ + keyRange_);
  for (int pass = 0; pass < 2; ++pass) {  // white keys, then the black ones over them
    for (int key = bottomKey_ - 1; key <= last; ++key) {
      if (key < 0 || IsBlack(key) != (pass == 1)) continue;
      const QRect r = KeyRect(key);
      const QColor face =
          IsSelected(key) ? pal.color(QPalette::Highlight) : (pass == 1 ? Qt::black : Qt::white);
      painter.fillRect(r, face);
      painter.setPen(Qt::black);
      PixelFrame(painter, r);
    }
  }
  painter.setPen(pal.color(QPalette::Shadow));
  PixelLine(painter, {0, 0}, {width() - 1, 0});
  PixelLine(painter, {0, 0}, {0, height() - 1});
  painter.setPen(pal.color(QPalette::Light));
  PixelLine(painter, {width() - 1, 0}, {width() - 1, height() - 1});
  PixelLine(painter, {0, height() - 1}, {width() - 1, height() - 1});
}

void KWPianoKeyboard::mousePressEvent(QMouseEvent* event) {
  const int key = KeyAt(event->position().toPoint());
  if (key < 0) return;
  switch (mode_) {
    case InputMode::Momentary:
      Select(key, true);
      break;
    case InputMode::Single:
      SelectOnly(key);
      break;
    case InputMode::Multiple:
      Select(key, !IsSelected(key));
      break;
  }
  emit OnChange();
}

void KWPianoKeyboard::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || mode_ == InputMode::Multiple) return;
  const int key = KeyAt(event->position().toPoint());
  if (key < 0 || IsSelected(key)) return;
  SelectOnly(key);
  emit OnChange();
}

void KWPianoKeyboard::mouseReleaseEvent(QMouseEvent*) {
  if (mode_ != InputMode::Momentary || selected_.empty()) return;
  Select(selected_.front(), false);
  emit OnChange();
}

}  // namespace tg
