#pragma once

// Row blitters decide what happens to each pixel of one row when a source
// row is combined into a destination row. The surface operations (blit.h)
// clip and walk the rows and call one row operation per row; the per-pixel
// rule lives entirely inside the blitter.
//
// Rules, with s the source pixel and d the destination pixel before the
// write (0xF81F is the key, bit 5 marks a source pixel opaque; a see-through
// source holds its colour already scaled by its opacity):
//   copy                 s
//   key                  d if s is the key, else s
//   key quarter          d if key; s if opaque; else s + d/4
//   key half             d if key; s if opaque; else s + d/2
//   key three-quarter    d if key; s if opaque; else s + d/2 + d/4
//   opaque only          s if opaque (and not the key), else d
//   keyed accumulate     key if s is the key; d | bit 5 if opaque; else s plus
//                        the fractions of d chosen by the flags
//   changed pixel        s if s == d, else s | bit 5
// Channel fractions are taken with channel-safe masks; sums are not
// saturated.

#include <cstdint>
#include <memory>

namespace lv {

class RowBlitter {
 public:
  virtual ~RowBlitter() = default;

  // Destination pixel i combines with src[i]. When the rows of both
  // surfaces lie back to back without padding, a span may cover several
  // whole rows.
  virtual void copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                        int32_t src_y) const = 0;

  // Destination pixel i combines with src_row[(start + i * step) >> 10]:
  // positions are fixed point with 10 fraction bits.
  virtual void scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row, int32_t start,
                          int32_t step, int32_t src_y) const = 0;

  // For count destination pixels, x counting up from start_x, destination
  // pixel i combines with src_row[x >> shift].
  virtual void magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                             int32_t shift, int32_t src_y) const = 0;

  // As magnified_row, but x goes back to wrap_from whenever it reaches wrap_at.
  virtual void tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                   int32_t count, int32_t shift, int32_t wrap_from, int32_t wrap_at,
                                   int32_t src_y) const = 0;

  virtual std::unique_ptr<RowBlitter> clone() const = 0;
};

namespace blend {
// Per-pixel rules of the parameterless kinds (defined with the row loops).
struct Copy;
struct Key;
struct KeyQuarter;
struct KeyHalf;
struct KeyThreeQuarter;
struct OpaqueOnly;
struct ChangedPixel;
struct Accumulate;
}  // namespace blend

// The row operations of a blitter whose every pixel follows one rule: Self
// answers the rule with rule(). Defined for the kinds below only.
template <typename Self>
class SpanBlitter : public RowBlitter {
 public:
  void copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                int32_t src_y) const final;
  void scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row, int32_t start,
                  int32_t step, int32_t src_y) const final;
  void magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                     int32_t shift, int32_t src_y) const final;
  void tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                           int32_t shift, int32_t wrap_from, int32_t wrap_at,
                           int32_t src_y) const final;
};

// A blitter kind without parameters; instantiated for the rules above only.
template <typename Rule>
class RuleBlitter final : public SpanBlitter<RuleBlitter<Rule>> {
 public:
  Rule rule() const;
  std::unique_ptr<RowBlitter> clone() const override;
};

using CopyBlitter = RuleBlitter<blend::Copy>;
using KeyBlitter = RuleBlitter<blend::Key>;
using KeyQuarterBlitter = RuleBlitter<blend::KeyQuarter>;
using KeyHalfBlitter = RuleBlitter<blend::KeyHalf>;
using KeyThreeQuarterBlitter = RuleBlitter<blend::KeyThreeQuarter>;
using OpaqueOnlyBlitter = RuleBlitter<blend::OpaqueOnly>;
// Marks every written pixel that changes the destination as opaque: text
// drawn into a cached element image stays visible under the see-through
// kinds.
using ChangedPixelBlitter = RuleBlitter<blend::ChangedPixel>;

extern template class RuleBlitter<blend::Copy>;
extern template class RuleBlitter<blend::Key>;
extern template class RuleBlitter<blend::KeyQuarter>;
extern template class RuleBlitter<blend::KeyHalf>;
extern template class RuleBlitter<blend::KeyThreeQuarter>;
extern template class RuleBlitter<blend::OpaqueOnly>;
extern template class RuleBlitter<blend::ChangedPixel>;

// Cuts a destination to the shape of a source picture: where the source is
// the key the result is the key, where it is opaque the destination stays and
// is marked opaque, and where it is see-through the source is added to the
// fractions of the destination that the flags select.
class KeyedAccumulateBlitter final : public SpanBlitter<KeyedAccumulateBlitter> {
 public:
  static constexpr uint32_t kAddWhole = 0x100;   // + d
  static constexpr uint32_t kAddHalf = 0x80;     // + d / 2
  static constexpr uint32_t kAddQuarter = 0x40;  // + d / 4 (as two halvings)

  explicit KeyedAccumulateBlitter(uint32_t flags = 0) : m_flags(flags) {}

  blend::Accumulate rule() const;
  std::unique_ptr<RowBlitter> clone() const override;

 private:
  uint32_t m_flags;
};

// The process-wide instances, in table order.
enum class SharedKind : int32_t { key, key_quarter, key_half, key_three_quarter, opaque_only };
inline constexpr int32_t kSharedKindCount = 5;

const RowBlitter& shared_instance(SharedKind kind);

// Forwards every row operation to one of the process-wide instances.
class SharedBlitter final : public RowBlitter {
 public:
  explicit SharedBlitter(SharedKind kind) : m_kind(kind), m_target(&shared_instance(kind)) {}
  SharedKind kind() const { return m_kind; }

  void copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t src_x,
                int32_t src_y) const override;
  void scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row, int32_t start,
                  int32_t step, int32_t src_y) const override;
  void magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                     int32_t shift, int32_t src_y) const override;
  void tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x, int32_t count,
                           int32_t shift, int32_t wrap_from, int32_t wrap_at,
                           int32_t src_y) const override;
  std::unique_ptr<RowBlitter> clone() const override;

 private:
  SharedKind m_kind;
  const RowBlitter* m_target;
};

// How an element draws its cached image, from its "cache_alpha" value: -1 is
// a plain copy; otherwise cache_alpha / 64 (truncated, clamped to 0..4)
// picks key, key quarter, key half, key three-quarter or opaque only.
std::unique_ptr<RowBlitter> blitter_for_cache_alpha(int32_t cache_alpha);

}  // namespace lv
