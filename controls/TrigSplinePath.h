#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "contraptions/effects/sspat/QSTrigSplinePath.h"

namespace tg {

// The closed path of the spline editor: a ring of at least three control
// points in a plane normalised to ±1 (y up), a start point, and the curve
// that passes through every point. Screen work is done in pixels of a
// control of a given size.
class TrigSplinePath {
 public:
  struct Point {
    float x = 0.0f;
    float y = 0.0f;
  };
  static constexpr int kSamplesPerSegment = 256;
  // The limits of the paths SSpat plays: no point is ever placed farther
  // out than kPointLimit, in either direction.
  static constexpr int kMinPoints = QSTrigSplinePath::kMinPoints;
  static constexpr float kPointLimit = QSTrigSplinePath::kPointLimit;

  TrigSplinePath();

  const std::vector<Point>& Points() const { return points_; }
  int StartIndex() const { return start_; }
  int SegmentCount() const { return static_cast<int>(points_.size()); }
  // "x,y, x,y, …" from the start point on.
  std::string CommaText() const;
  // Replaces the ring with a path as SSpat reads it; a text it refuses
  // changes nothing.
  bool SetCommaText(std::string_view text);

  // The curve point i (0 … 255) of segment s, which runs from point s−1
  // towards point s−2 in ring order (as the window of four points gives it).
  Point CurvePoint(int segment, int i) const;

  // Pixel mapping for a control of this client size.
  void SetSize(int width, int height);
  int PixelX(float x) const;
  int PixelY(float y) const;
  // The first point whose square (−2 … +3 pixels) holds the pixel, or −1.
  int HitPoint(int px, int py) const;
  // Deletes a point if more than three remain.
  bool Delete(int index);
  void SetStart(int index);
  // Inserts a point at a pixel on the curve; answers its index or −1 when
  // the click is not on the curve.
  int InsertAt(int px, int py);
  // Moves one point by pixels (dy up), kept within ±0.98.
  void MovePoint(int index, int dx, int dy);
  // Moves the whole path by pixels, kept 5 pixels inside the control and
  // every point within ±kPointLimit.
  void MoveAll(int dx, int dy);

 private:
  std::vector<Point> points_;
  int start_ = 0;
  std::array<std::array<float, kSamplesPerSegment>, 4> weights_{};
  int width_ = 100, height_ = 100;
  float sx_ = 48.5f, sy_ = 48.5f;
  int cx_ = 50, cy_ = 50;
};

}  // namespace tg
