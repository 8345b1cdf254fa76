#include "skin/row_blitter.h"

#include "skin/blend_rules.h"

namespace lv {

template <typename Rule>
void RuleBlitter<Rule>::copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src, int32_t,
                                 int32_t) const {
  blend::combine_span(Rule{}, dst, static_cast<int32_t>(dst_end - dst), src);
}

template <typename Rule>
void RuleBlitter<Rule>::scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                                   int32_t start, int32_t step, int32_t) const {
  blend::scaled_span(Rule{}, dst, dst_end, src_row, start, step);
}

template <typename Rule>
void RuleBlitter<Rule>::magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                      int32_t count, int32_t shift, int32_t) const {
  blend::magnified_span(Rule{}, dst, src_row, start_x, count, shift);
}

template <typename Rule>
void RuleBlitter<Rule>::tiled_magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                            int32_t count, int32_t shift, int32_t wrap_from,
                                            int32_t wrap_at, int32_t) const {
  blend::tiled_span(Rule{}, dst, src_row, start_x, count, shift, wrap_from, wrap_at);
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

namespace {

blend::Accumulate accumulate_rule(uint32_t flags) {
  auto mask = [flags](uint32_t bit) -> uint16_t { return (flags & bit) ? 0xFFFF : 0; };
  return {mask(KeyedAccumulateBlitter::kAddWhole), mask(KeyedAccumulateBlitter::kAddHalf),
          mask(KeyedAccumulateBlitter::kAddQuarter)};
}

}  // namespace

void KeyedAccumulateBlitter::copy_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src,
                                      int32_t, int32_t) const {
  blend::combine_span(accumulate_rule(m_flags), dst, static_cast<int32_t>(dst_end - dst), src);
}

void KeyedAccumulateBlitter::scaled_row(uint16_t* dst, uint16_t* dst_end, const uint16_t* src_row,
                                        int32_t start, int32_t step, int32_t) const {
  blend::scaled_span(accumulate_rule(m_flags), dst, dst_end, src_row, start, step);
}

void KeyedAccumulateBlitter::magnified_row(uint16_t* dst, const uint16_t* src_row, int32_t start_x,
                                           int32_t count, int32_t shift, int32_t) const {
  blend::magnified_span(accumulate_rule(m_flags), dst, src_row, start_x, count, shift);
}

void KeyedAccumulateBlitter::tiled_magnified_row(uint16_t* dst, const uint16_t* src_row,
                                                 int32_t start_x, int32_t count, int32_t shift,
                                                 int32_t wrap_from, int32_t wrap_at,
                                                 int32_t) const {
  blend::tiled_span(accumulate_rule(m_flags), dst, src_row, start_x, count, shift, wrap_from,
                    wrap_at);
}

std::unique_ptr<RowBlitter> KeyedAccumulateBlitter::clone() const {
  return std::make_unique<KeyedAccumulateBlitter>(m_flags);
}

}  // namespace lv
