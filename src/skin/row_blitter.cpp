#include "skin/row_blitter.h"

#include "skin/blend_rules.h"

namespace lv {

template <typename Self>
void SpanBlitter<Self>::copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t,
                                 int32_t) const {
  blend::combine_span(static_cast<const Self&>(*this).rule(), dst,
                      static_cast<int32_t>(dst_end - dst), src);
}

template <typename Self>
void SpanBlitter<Self>::scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                                   int32_t start, int32_t step, int32_t) const {
  blend::scaled_span(static_cast<const Self&>(*this).rule(), dst, dst_end, src_row, start, step);
}

template <typename Self>
void SpanBlitter<Self>::magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                      int32_t count, int32_t shift, int32_t) const {
  blend::magnified_span(static_cast<const Self&>(*this).rule(), dst, src_row, start_x, count,
                        shift);
}

template <typename Self>
void SpanBlitter<Self>::tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                            int32_t count, int32_t shift, int32_t wrap_from,
                                            int32_t wrap_at, int32_t) const {
  blend::tiled_span(static_cast<const Self&>(*this).rule(), dst, src_row, start_x, count, shift,
                    wrap_from, wrap_at);
}

template <typename Rule>
Rule RuleBlitter<Rule>::rule() const {
  return Rule{};
}

template <typename Rule>
std::unique_ptr<RowBlitter> RuleBlitter<Rule>::clone() const {
  return std::make_unique<RuleBlitter<Rule>>();
}

template class RuleBlitter<blend::Copy>;
template class RuleBlitter<blend::Key>;
template class RuleBlitter<blend::KeyQuarter>;
template class RuleBlitter<blend::KeyHalf>;
template class RuleBlitter<blend::KeyThreeQuarter>;
template class RuleBlitter<blend::OpaqueOnly>;
template class RuleBlitter<blend::ChangedPixel>;
template class SpanBlitter<RuleBlitter<blend::Copy>>;
template class SpanBlitter<RuleBlitter<blend::Key>>;
template class SpanBlitter<RuleBlitter<blend::KeyQuarter>>;
template class SpanBlitter<RuleBlitter<blend::KeyHalf>>;
template class SpanBlitter<RuleBlitter<blend::KeyThreeQuarter>>;
template class SpanBlitter<RuleBlitter<blend::OpaqueOnly>>;
template class SpanBlitter<RuleBlitter<blend::ChangedPixel>>;
template class SpanBlitter<KeyedAccumulateBlitter>;

blend::Accumulate KeyedAccumulateBlitter::rule() const {
  auto mask = [this](uint32_t bit) -> uint16_t { return (m_flags & bit) ? 0xFFFF : 0; };
  return {mask(kAddWhole), mask(kAddHalf), mask(kAddQuarter)};
}

std::unique_ptr<RowBlitter> KeyedAccumulateBlitter::clone() const {
  return std::make_unique<KeyedAccumulateBlitter>(m_flags);
}

}  // namespace lv
