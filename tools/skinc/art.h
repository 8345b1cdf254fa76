#pragma once

// Skin art: PNG images (or SVG drawings, rendered to PNG by rsvg-convert)
// turned into the 16-bit pixels of skin bitmaps. The conventions are those
// of the blitters:
// - a fully transparent pixel becomes the colour key 0xF81F;
// - an opaque pixel becomes its colour with bit 5 set, so it can never be
//   the key;
// - a partly transparent pixel becomes its colour pre-multiplied by its
//   alpha with bit 5 clear. The see-through blitters add a quarter, a half
//   or three quarters of the background to it without saturating, so each
//   channel is also held at or below what three quarters of a full
//   background leave free (red and blue 9 of 31, green 16 of 63): no sum
//   carries into the next channel, whichever of them draws the picture.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace lv {
class Surface;
}

namespace lv::skinc {

inline constexpr uint16_t kSeeThroughMaxRed = 9;
inline constexpr uint16_t kSeeThroughMaxGreen = 16;
inline constexpr uint16_t kSeeThroughMaxBlue = 9;

// One 8-bit RGBA pixel (straight, not pre-multiplied alpha) as a skin pixel.
uint16_t skin_pixel(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);

// RGBA rows, 4 bytes a pixel, top row first, as skin pixels. None when a
// side is not in 1..Surface::kMaxSide or the pixels are fewer than the sides.
std::unique_ptr<Surface> surface_from_rgba(std::span<const uint8_t> rgba, int32_t width,
                                           int32_t height);

// Decodes a PNG file's bytes (any colour type and depth). False with a
// reason when they are not a usable PNG.
bool decode_png(std::span<const uint8_t> bytes, std::unique_ptr<Surface>& out, std::string& reason);

// Loads a ".png" file, or renders a ".svg" file at its own size through
// rsvg-convert first. False with a reason.
bool load_art(const std::filesystem::path& file, std::unique_ptr<Surface>& out,
              std::string& reason);

}  // namespace lv::skinc
