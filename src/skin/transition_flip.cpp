#include "skin/transition_flip.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "skin/canvas.h"
#include "skin/surface.h"

namespace lv {

namespace {

constexpr int kFractionBits = 10;

struct Vec3 {
  double x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator*(double s, Vec3 v) {
  return {s * v.x, s * v.y, s * v.z};
}
double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// How one destination row samples the face: a source row and, because the
// axis is horizontal, a uniform horizontal scale. Coordinates are relative
// to the face's centre; the screen is the plane z = 0 and the eye looks
// along +z from z = -distance.
struct RowSample {
  double source_y;  // from the face's centre
  double scale;     // source columns per destination column
};

// The face turned by `angle` about the x axis: its rows run along
// v = (0, cos, sin) and its normal is (0, -sin, cos). The ray from the eye
// through the centre of the row at height sy meets the face at the point
// whose v coordinate is the source row; every point of that destination row
// lies at the same depth, so its columns scale by one factor.
bool sample_row(double sy, double angle, double distance, RowSample& out) {
  const Vec3 eye{0.0, 0.0, -distance};
  const Vec3 along_v{0.0, std::cos(angle), std::sin(angle)};
  const Vec3 normal{0.0, -std::sin(angle), std::cos(angle)};
  const Vec3 ray{0.0, sy, distance};
  const double facing = dot(normal, ray);
  // Edge-on, or the row looks past the face's horizon.
  if (!(facing > 0.0)) return false;
  const double s = -dot(normal, eye) / facing;
  const Vec3 hit = eye + s * ray;
  out.source_y = dot(hit, along_v);
  out.scale = (distance + hit.z) / distance;
  return std::isfinite(out.source_y) && out.scale > 0.0;
}

}  // namespace

FlipTransition::FlipTransition() : Transition(0.5) {}

std::unique_ptr<Transition> FlipTransition::clone() const {
  return std::make_unique<FlipTransition>();
}

void FlipTransition::prepare() {
  // Far enough that the near half of either face never reaches the eye,
  // near enough that the turn reads as depth.
  const Size a = outgoing().size();
  const Size b = incoming().size();
  const int32_t side = std::max({a.width, a.height, b.width, b.height, 1});
  m_eye_distance = 2.0 * side;
}

void FlipTransition::draw(Canvas& canvas, Point position) const {
  Surface* dst = canvas.surface();
  const Size frame = frame_size();
  if (!dst || frame.width < 1 || frame.height < 1) return;

  // The front face carries the outgoing picture until the plane is edge-on;
  // then the back, turned by angle - pi, carries the incoming one upright.
  const double turn = progress() * std::numbers::pi;
  const bool front = turn <= 0.5 * std::numbers::pi;
  const double angle = front ? turn : turn - std::numbers::pi;
  const Surface* src = (front ? outgoing() : incoming()).surface();
  // Edge-on the face is a line of no thickness.
  if (!src || std::cos(angle) < 1e-9) return;
  const auto src_width = static_cast<int32_t>(src->width());
  const auto src_height = static_cast<int32_t>(src->height());
  const double cx = 0.5 * src_width;
  const double cy = 0.5 * src_height;

  // Rows and spans stay inside both the element's rectangle and the clip.
  const Rect clip = canvas.effective_clip();
  const int64_t top = std::max<int64_t>(position.y, clip.top);
  const int64_t bottom = std::min<int64_t>(int64_t{position.y} + frame.height, clip.bottom);
  const int64_t span_low = std::max<int64_t>(0, int64_t{clip.left} - position.x);
  const int64_t span_high = std::min<int64_t>(frame.width, int64_t{clip.right} - position.x);
  if (top >= bottom || span_low >= span_high) return;

  const int64_t last_column = int64_t{src_width} - 1;
  const int64_t column_limit = (int64_t{src_width} << kFractionBits) - 1;
  for (int64_t y = top; y < bottom; ++y) {
    RowSample sample;
    const double sy = static_cast<double>(y - position.y) + 0.5 - cy;
    if (!sample_row(sy, angle, m_eye_distance, sample)) continue;
    const double row = cy + sample.source_y;
    if (!(row >= 0.0 && row < src_height)) continue;

    // Destination columns x (from the position) sample the source column
    // cx + (x + 0.5 - cx) * scale, which must lie in [0, width).
    const auto low = static_cast<int64_t>(std::ceil(cx - 0.5 - cx / sample.scale));
    const auto high = static_cast<int64_t>(std::ceil(cx - 0.5 + (src_width - cx) / sample.scale));
    const int64_t left = std::max(span_low, low);
    const int64_t right = std::min(span_high, high);
    if (left >= right) continue;

    // Sampling starts at the span's own end and steps to the clip, so a
    // clipped row shows exactly the pixels of the whole one. Rounding may put
    // the first sample a hair outside the row; the per-pixel clamp keeps the
    // last one inside.
    const double first =
        (cx + (static_cast<double>(low) + 0.5 - cx) * sample.scale) * (1 << kFractionBits);
    const auto step = static_cast<int64_t>(sample.scale * (1 << kFractionBits));
    int64_t pos =
        std::clamp<int64_t>(static_cast<int64_t>(first), 0, column_limit) + (left - low) * step;
    const uint16_t* src_row = src->row(static_cast<uint32_t>(row));
    uint16_t* out = dst->row(static_cast<uint32_t>(y)) + (int64_t{position.x} + left);
    uint16_t* const end = out + (right - left);
    for (; out != end; ++out, pos += step)
      *out = src_row[std::min(pos >> kFractionBits, last_column)];
  }
}

}  // namespace lv
