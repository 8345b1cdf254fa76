#pragma once

// RGB565 pixel arithmetic. A pixel is one 16-bit word: red in bits 15-11,
// green in bits 10-5, blue in bits 4-0. Blending and dimming never unpack a
// pixel into channels: they shift whole words and clear, with a mask, the
// bits that would otherwise slide from one channel into its neighbour.

#include <cstdint>
#include <type_traits>

namespace lv::rgb565 {

// The transparent key (full red and blue, no green).
inline constexpr uint16_t kKey = 0xF81F;
// Lowest green bit: marks a pixel opaque for the see-through blitters.
inline constexpr uint16_t kOpaqueBit = 0x0020;

// Channel-safe masks applied before a shift: clear the lowest one or two
// bits of every channel.
inline constexpr uint16_t kHalfMask = 0xF7DF;
inline constexpr uint16_t kQuarterMask = 0xE79F;

// The same, applied after the shift, for one pixel and for two pixels packed
// in a 32-bit word. The low halves are the single-pixel forms.
inline constexpr uint32_t kDiv2Mask = 0x7BEF7BEF;
inline constexpr uint32_t kDiv4Mask = 0x39E739E7;
inline constexpr uint32_t kDiv8Mask = 0x18E318E3;
inline constexpr uint32_t kDiv16Mask = 0x08610861;

constexpr uint16_t red(uint16_t p) {
  return p >> 11;
}  // 0..31
constexpr uint16_t green(uint16_t p) {
  return (p >> 5) & 0x3F;
}  // 0..63
constexpr uint16_t blue(uint16_t p) {
  return p & 0x1F;
}  // 0..31

constexpr uint16_t pack(uint16_t red5, uint16_t green6, uint16_t blue5) {
  return static_cast<uint16_t>(((red5 & 0x1F) << 11) | ((green6 & 0x3F) << 5) | (blue5 & 0x1F));
}

// From 8-bit channels, truncating.
constexpr uint16_t from_rgb888(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

// To 8-bit channels, replicating the top bits so 31 and 63 map to 255.
constexpr uint8_t red8(uint16_t p) {
  return static_cast<uint8_t>((red(p) << 3) | (red(p) >> 2));
}
constexpr uint8_t green8(uint16_t p) {
  return static_cast<uint8_t>((green(p) << 2) | (green(p) >> 4));
}
constexpr uint8_t blue8(uint16_t p) {
  return static_cast<uint8_t>((blue(p) << 3) | (blue(p) >> 2));
}

constexpr bool is_key(uint16_t p) {
  return p == kKey;
}
constexpr bool is_opaque(uint16_t p) {
  return (p & kOpaqueBit) != 0;
}

// Every channel halved / quartered, rounding down.
constexpr uint16_t half(uint16_t p) {
  return static_cast<uint16_t>((p & kHalfMask) >> 1);
}
constexpr uint16_t quarter(uint16_t p) {
  return static_cast<uint16_t>((p & kQuarterMask) >> 2);
}

// A 32-bit mask for the word type W: one pixel (uint16_t, the low half), two
// pixels (uint32_t) or a GCC vector of uint32_t pixel pairs.
template <typename W>
constexpr W word_mask(uint32_t pair_mask) {
  if constexpr (std::is_integral_v<W>)
    return static_cast<W>(pair_mask);
  else
    return W{} + pair_mask;
}

// Per-channel p >> n for n = 1..4, on any of those word types.
template <typename W>
constexpr W div2(W p) {
  return static_cast<W>((p >> 1) & word_mask<W>(kDiv2Mask));
}
template <typename W>
constexpr W div4(W p) {
  return static_cast<W>((p >> 2) & word_mask<W>(kDiv4Mask));
}
template <typename W>
constexpr W div8(W p) {
  return static_cast<W>((p >> 3) & word_mask<W>(kDiv8Mask));
}
template <typename W>
constexpr W div16(W p) {
  return static_cast<W>((p >> 4) & word_mask<W>(kDiv16Mask));
}

// One unit of the ÷16 mask in every channel of every packed pixel.
template <typename W>
constexpr W div16_unit() {
  return word_mask<W>(kDiv16Mask);
}

}  // namespace lv::rgb565
