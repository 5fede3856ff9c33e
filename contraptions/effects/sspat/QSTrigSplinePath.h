#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// A closed path through up to 100 control points, tabulated as a
// trigonometric spline, then rotated about (0, 0), scaled and moved by an
// origin when evaluated. Construction allocates; evaluation never does.
class QSTrigSplinePath {
 public:
  struct Point {
    float x = 0.0f;
    float y = 0.0f;
  };
  // What the spline editor can draw and edit: a ring of 3 … 100 points
  // within ±0.98. Anything else would show in the editor as another path
  // than the one travelled, and its next edit would replace it unseen.
  static constexpr int kMinPoints = 3;
  static constexpr int kMaxPoints = 100;
  static constexpr float kPointLimit = 0.98f;
  // Longer texts may have been cut short when read, so their numbers cannot
  // be trusted.
  static constexpr std::size_t kMaxTextLength = 4094;
  static constexpr const char* kTextHint =
      "A path is 3 to 100 points written as x,y pairs, each number within -0.98..0.98.";

  // The points of a comma text, or why it cannot be a path.
  struct Parsed {
    std::vector<Point> points;
    std::string problem;  // empty when the points are usable
  };

  // UI thread: capacity is the most table entries a path may use.
  explicit QSTrigSplinePath(int32_t capacity);
  static std::size_t BytesFor(int32_t capacity) {
    return 2 * (static_cast<std::size_t>(capacity) + 1) * sizeof(float);
  }

  // The points of a comma text "x,y, x,y, …"; refused are texts longer than
  // kMaxTextLength, texts that are not number pairs, and paths the editor
  // cannot show (kMinPoints … kMaxPoints points within ±kPointLimit).
  static Parsed Parse(std::string_view text);
  // Parses and tabulates; a refused text leaves the path as it was.
  bool SetText(std::string_view text);
  // Tabulates 1 … 100 points (anything else is ignored).
  void SetPoints(const std::vector<Point>& points);

  void SetOrigin(float x, float y) {
    originX_ = x;
    originY_ = y;
  }
  float OriginX() const { return originX_; }
  float OriginY() const { return originY_; }
  double Rotation() const { return rotation_; }
  double Scale() const { return scale_; }
  void SetRotation(double radians) { rotation_ = radians; }
  void SetScale(double scale) { scale_ = scale; }

  int32_t PointCount() const { return n_; }
  int32_t TableLength() const { return length_; }
  // The transformed point at position t (one lap is 0 ≤ t < point count).
  Point At(double t) const;
  // The position where the curve passes the first point, the start the
  // editor shows: the table begins two segments before it.
  double StartPosition() const { return n_ > 2 ? 2.0 : 0.0; }
  // The untransformed table entry.
  Point Entry(int32_t i) const {
    return {x_[static_cast<std::size_t>(i)], y_[static_cast<std::size_t>(i)]};
  }

 private:
  int32_t capacity_;
  int32_t length_;
  int32_t n_ = 1;
  std::vector<float> x_, y_;
  float originX_ = 0.0f, originY_ = 0.0f;
  double rotation_ = 0.0, scale_ = 1.0;
};

}  // namespace tg
