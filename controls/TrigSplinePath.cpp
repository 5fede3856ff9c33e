#include "controls/TrigSplinePath.h"

#include <algorithm>
#include <cmath>

#include "contraptions/effects/sspat/QSTrigSplinePath.h"
#include "properties/TextIO.h"

namespace tg {

namespace {

constexpr int kPathMargin = 5;

long Orientation(long ax, long ay, long bx, long by, long cx, long cy) {
  const long v = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  return v > 0 ? 1 : v < 0 ? -1 : 0;
}

bool Crosses(long ax, long ay, long bx, long by, long cx, long cy, long dx, long dy) {
  const long o1 = Orientation(ax, ay, bx, by, cx, cy);
  const long o2 = Orientation(ax, ay, bx, by, dx, dy);
  const long o3 = Orientation(cx, cy, dx, dy, ax, ay);
  const long o4 = Orientation(cx, cy, dx, dy, bx, by);
  return o1 != o2 && o3 != o4;
}

}  // namespace

TrigSplinePath::TrigSplinePath() : points_{{0.0f, 0.5f}, {-0.5f, -0.2f}, {0.5f, -0.2f}} {
  for (int i = 0; i < kSamplesPerSegment; ++i) {
    const double u = i / 256.0 * 3.14159265358979 / 2.0;
    const double c = std::cos(u), s = std::sin(u);
    weights_[0][static_cast<size_t>(i)] = static_cast<float>(c * (c - 1) / 2);
    weights_[1][static_cast<size_t>(i)] = static_cast<float>(s * (s + 1) / 2);
    weights_[2][static_cast<size_t>(i)] = static_cast<float>(c * (c + 1) / 2);
    weights_[3][static_cast<size_t>(i)] = static_cast<float>(s * (s - 1) / 2);
  }
}

std::string TrigSplinePath::CommaText() const {
  std::string text;
  const int n = SegmentCount();
  for (int k = 0; k < n; ++k) {
    const Point& p = points_[static_cast<size_t>((start_ + k) % n)];
    if (k > 0) text += ", ";
    text += textio::FormatDouble(p.x) + "," + textio::FormatDouble(p.y);
  }
  return text;
}

bool TrigSplinePath::SetCommaText(std::string_view text) {
  // The processor's own reading, so the editor shows exactly the path that plays.
  const QSTrigSplinePath::Parsed parsed = QSTrigSplinePath::Parse(text);
  if (!parsed.problem.empty()) return false;
  points_.clear();
  for (const QSTrigSplinePath::Point& p : parsed.points) points_.push_back({p.x, p.y});
  start_ = 0;
  return true;
}

TrigSplinePath::Point TrigSplinePath::CurvePoint(int segment, int i) const {
  const int n = SegmentCount();
  // The window of four points ending at this segment's point, taken cyclically.
  const Point& p0 = points_[static_cast<size_t>((segment + n - 3) % n)];
  const Point& p1 = points_[static_cast<size_t>((segment + n - 2) % n)];
  const Point& p2 = points_[static_cast<size_t>((segment + n - 1) % n)];
  const Point& p3 = points_[static_cast<size_t>(segment % n)];
  const auto k = static_cast<size_t>(i);
  const float b0 = weights_[0][k], b1 = weights_[1][k], b2 = weights_[2][k], b3 = weights_[3][k];
  return {b0 * p0.x + b1 * p1.x + b2 * p2.x + b3 * p3.x,
          b0 * p0.y + b1 * p1.y + b2 * p2.y + b3 * p3.y};
}

void TrigSplinePath::SetSize(int width, int height) {
  width_ = std::max(width, 4);
  height_ = std::max(height, 4);
  sx_ = static_cast<float>(width_ - 3) / 2.0f;
  sy_ = static_cast<float>(height_ - 3) / 2.0f;
  cx_ = width_ / 2;
  cy_ = height_ / 2;
}

int TrigSplinePath::PixelX(float x) const {
  return static_cast<int>(static_cast<float>(cx_) + x * sx_);
}
int TrigSplinePath::PixelY(float y) const {
  return static_cast<int>(static_cast<float>(cy_) - y * sy_);
}

int TrigSplinePath::HitPoint(int px, int py) const {
  for (int i = 0; i < SegmentCount(); ++i) {
    const int x = PixelX(points_[static_cast<size_t>(i)].x);
    const int y = PixelY(points_[static_cast<size_t>(i)].y);
    if (px >= x - 2 && px <= x + 3 && py >= y - 2 && py <= y + 3) return i;
  }
  return -1;
}

bool TrigSplinePath::Delete(int index) {
  if (index < 0 || index >= SegmentCount() || SegmentCount() <= 3) return false;
  points_.erase(points_.begin() + index);
  if (start_ >= index) start_ = std::max(0, start_ - 1);
  return true;
}

void TrigSplinePath::SetStart(int index) {
  if (index >= 0 && index < SegmentCount()) start_ = index;
}

int TrigSplinePath::InsertAt(int px, int py) {
  for (int s = 0; s < SegmentCount(); ++s) {
    Point previous = CurvePoint(s, 0);
    for (int i = 4; i <= kSamplesPerSegment; i += 4) {
      const Point next = CurvePoint(s, std::min(i, kSamplesPerSegment - 1));
      const long ax = PixelX(previous.x), ay = PixelY(previous.y);
      const long bx = PixelX(next.x), by = PixelY(next.y);
      if (Crosses(ax, ay, bx, by, px - 4, py - 4, px + 4, py + 4) ||
          Crosses(ax, ay, bx, by, px - 4, py + 4, px + 4, py - 4)) {
        // The segment of point s runs between points s−1 and s−2: the new point goes between them.
        const int n = SegmentCount();
        const int at = (s + n - 1) % n;
        const Point p{std::clamp((static_cast<float>(px) - static_cast<float>(cx_)) / sx_,
                                 -kPointLimit, kPointLimit),
                      std::clamp((static_cast<float>(cy_) - static_cast<float>(py)) / sy_,
                                 -kPointLimit, kPointLimit)};
        points_.insert(points_.begin() + at, p);
        if (start_ >= at) ++start_;
        return at;
      }
      previous = next;
    }
  }
  return -1;
}

void TrigSplinePath::MovePoint(int index, int dx, int dy) {
  if (index < 0 || index >= SegmentCount()) return;
  Point& p = points_[static_cast<size_t>(index)];
  p.x = std::clamp(p.x + static_cast<float>(dx) / sx_, -kPointLimit, kPointLimit);
  p.y = std::clamp(p.y + static_cast<float>(dy) / sy_, -kPointLimit, kPointLimit);
}

void TrigSplinePath::MoveAll(int dx, int dy) {
  int left = width_, right = 0, top = height_, bottom = 0;
  for (const Point& p : points_) {
    left = std::min(left, PixelX(p.x) - kPathMargin);
    right = std::max(right, PixelX(p.x) + kPathMargin);
    top = std::min(top, PixelY(p.y) - kPathMargin);
    bottom = std::max(bottom, PixelY(p.y) + kPathMargin);
  }
  dx = std::clamp(dx, -left, width_ - 1 - right);
  // dy is upwards; on screen the box moves by -dy.
  dy = std::clamp(dy, -(height_ - 1 - bottom), top);
  float lowX = kPointLimit, highX = -kPointLimit, lowY = kPointLimit, highY = -kPointLimit;
  for (const Point& p : points_) {
    lowX = std::min(lowX, p.x);
    highX = std::max(highX, p.x);
    lowY = std::min(lowY, p.y);
    highY = std::max(highY, p.y);
  }
  // On a large control five pixels are less than the points' own limit.
  const float mx = std::clamp(static_cast<float>(dx) / sx_, std::min(0.0f, -kPointLimit - lowX),
                              std::max(0.0f, kPointLimit - highX));
  const float my = std::clamp(static_cast<float>(dy) / sy_, std::min(0.0f, -kPointLimit - lowY),
                              std::max(0.0f, kPointLimit - highY));
  for (Point& p : points_) {
    p.x += mx;
    p.y += my;
  }
}

}  // namespace tg
