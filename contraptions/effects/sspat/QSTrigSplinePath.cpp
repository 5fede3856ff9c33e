#include "contraptions/effects/sspat/QSTrigSplinePath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "properties/NumberText.h"

namespace tg {

namespace {

constexpr int kBasisSize = 1024;
constexpr float kHalfPi = 1.5707963f;

// The four blending weights of a quarter sine wave, shared by every path.
struct Basis {
  std::array<std::array<float, kBasisSize + 1>, 4> b{};
  Basis() {
    for (int k = 0; k <= kBasisSize; ++k) {
      const float a = static_cast<float>(k) / kBasisSize * kHalfPi;
      const float s = std::sin(a), c = std::cos(a);
      const auto i = static_cast<std::size_t>(k);
      b[0][i] = c * 0.5f * (c - 1.0f);
      b[1][i] = s * 0.5f * (s + 1.0f);
      b[2][i] = c * 0.5f * (c + 1.0f);
      b[3][i] = s * 0.5f * (s - 1.0f);
    }
  }
};

const Basis& TheBasis() {
  static const Basis basis;
  return basis;
}

// One number of a comma text, blanks around it allowed.
std::optional<float> ParseNumber(std::string_view piece) {
  const std::optional<double> read = numbertext::Parse(piece);
  if (!read || !std::isfinite(*read)) return std::nullopt;
  const double v = *read;
  // Far out of reach either way; kept finite as a float.
  return static_cast<float>(std::clamp(v, -1e6, 1e6));
}

float SnapSmall(float v, float limit) { return v > -limit && v < limit ? 0.0f : v; }

}  // namespace

QSTrigSplinePath::QSTrigSplinePath(int32_t capacity)
    : capacity_(capacity),
      length_(capacity),
      x_(static_cast<std::size_t>(capacity) + 1, 0.0f),
      y_(static_cast<std::size_t>(capacity) + 1, 0.0f) {
  TheBasis();
}

QSTrigSplinePath::Parsed QSTrigSplinePath::Parse(std::string_view text) {
  Parsed parsed;
  if (text.size() > kMaxTextLength) {
    parsed.problem = "too long (at most 4094 characters)";
    return parsed;
  }
  std::vector<float> numbers;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string_view piece =
        text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
    const auto v = ParseNumber(piece);
    if (!v) {
      parsed.problem = "not x,y number pairs";
      return parsed;
    }
    numbers.push_back(*v);
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  if (numbers.size() % 2 != 0) {
    parsed.problem = "not x,y number pairs";
  } else if (numbers.size() > 2 * kMaxPoints) {
    parsed.problem = "too many points (at most 100)";
  } else if (numbers.size() < 2 * kMinPoints) {
    parsed.problem = "too few points (at least 3)";
  } else if (std::any_of(numbers.begin(), numbers.end(),
                         [](float v) { return std::abs(v) > kPointLimit; })) {
    parsed.problem = "a point lies beyond -0.98..0.98";
  }
  if (!parsed.problem.empty()) return parsed;
  for (std::size_t i = 0; i < numbers.size(); i += 2)
    parsed.points.push_back({numbers[i], numbers[i + 1]});
  return parsed;
}

bool QSTrigSplinePath::SetText(std::string_view text) {
  const Parsed parsed = Parse(text);
  if (!parsed.problem.empty()) return false;
  SetPoints(parsed.points);
  return true;
}

void QSTrigSplinePath::SetPoints(const std::vector<Point>& points) {
  const auto n = static_cast<int32_t>(points.size());
  if (n < 1 || n > kMaxPoints) return;
  const Basis& basis = TheBasis();
  const int32_t segment = capacity_ / n;
  n_ = n;
  length_ = n * segment;
  // Points before the first count as the origin (fewer than three points).
  const auto point = [&](int32_t i) {
    return i < 0 ? Point{} : points[static_cast<std::size_t>(i)];
  };
  Point p0 = point(n - 3), p1 = point(n - 2), p2 = point(n - 1);
  std::size_t e = 0;
  for (int32_t q = 0; q < n; ++q) {
    const Point p3 = point(q);
    for (int32_t l = 0; l < segment; ++l) {
      const auto k = static_cast<std::size_t>(static_cast<int32_t>(
          1024.0f - static_cast<float>(l) / static_cast<float>(segment) * 1024.0f));
      const float b0 = basis.b[0][k], b1 = basis.b[1][k], b2 = basis.b[2][k], b3 = basis.b[3][k];
      x_[e] = p0.x * b0 + p1.x * b1 + p2.x * b2 + p3.x * b3;
      y_[e] = p0.y * b0 + p1.y * b1 + p2.y * b2 + p3.y * b3;
      ++e;
    }
    p0 = p1;
    p1 = p2;
    p2 = p3;
  }
  x_[e] = x_[0];
  y_[e] = y_[0];
}

QSTrigSplinePath::Point QSTrigSplinePath::At(double t) const {
  const double lap = n_;
  if (!std::isfinite(t)) t = 0.0;
  t = std::fmod(t, lap);
  if (t < 0.0) t += lap;
  const auto u = static_cast<float>(t / lap * length_);
  auto i = static_cast<int32_t>(u);
  if (i >= length_) i = length_ - 1;  // float rounding at the lap's end
  if (i < 0) i = 0;
  const float f = u - static_cast<float>(i);
  const auto at = static_cast<std::size_t>(i);
  const float x = SnapSmall(x_[at] + (x_[at + 1] - x_[at]) * f, 0.001f);
  const float y = SnapSmall(y_[at] + (y_[at + 1] - y_[at]) * f, 0.001f);

  constexpr double kPathPi = 3.1415926;
  const double theta = x != 0.0f ? std::atan(y / x) : (y > 0.0f ? 1.5 * kPathPi : 0.5 * kPathPi);
  float r = std::sqrt(x * x + y * y);
  if (!(x > 0.0f)) r = -r;
  const auto phi = static_cast<float>(static_cast<float>(theta) + rotation_);
  const auto rs = static_cast<float>(scale_ * r);
  return {SnapSmall(originX_ + rs * std::cos(phi), 1e-6f),
          SnapSmall(originY_ + rs * std::sin(phi), 1e-6f)};
}

}  // namespace tg
