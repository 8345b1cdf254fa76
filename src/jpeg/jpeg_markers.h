#pragma once

// Header parsing for the own baseline decoder: the markers from SOI up to and
// including the first SOS segment, every length checked against the bytes
// that are really there.

#include <cstdint>
#include <string>

#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_huffman.h"

namespace lv::jpeg {

// Why a decoder refused a picture or stopped.
enum class Failure {
  none,
  not_jpeg,     // no SOI at the start
  unsupported,  // a valid picture this decoder does not take: use libjpeg
  corrupt,      // the header or the data cannot be decoded
  bad_entry,    // a state entry or byte window that does not fit the picture
  stopped,      // the caller's row or entry callback asked to stop
};

enum class ColorTransform { grayscale, ycbcr, rgb };

// Natural (row-major) position of each zig-zag index (ITU T.81 Figure A.6),
// with 16 more entries of 63 so that a corrupt run past the end of a block
// lands on its last coefficient, as in libjpeg.
inline constexpr uint8_t kNaturalOrder[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

struct FrameComponent {
  uint8_t id = 0;
  uint8_t h = 1;  // sampling factors, 1 .. 4
  uint8_t v = 1;
  uint8_t quant_slot = 0;
};

struct ScanComponent {
  uint8_t frame_index = 0;
  uint8_t dc_slot = 0;
  uint8_t ac_slot = 0;
};

struct FrameHeader {
  int width = 0;
  int height = 0;
  int component_count = 0;  // 1 or 3
  FrameComponent components[3];
  int scan_component_count = 0;  // equals component_count: one interleaved scan
  ScanComponent scan[3];
  uint32_t restart_interval = 0;
  bool quant_defined[4] = {};
  uint16_t quant[4][64] = {};  // natural order
  // Tables as defined by DHT segments; missing slots 0 and 1 fall back to the
  // standard tables.
  HuffmanSpec dc_specs[4];
  HuffmanSpec ac_specs[4];
  bool jfif = false;
  bool adobe = false;
  int adobe_transform = 0;
  ColorTransform transform = ColorTransform::ycbcr;
  uint64_t scan_offset = 0;  // the first byte after the SOS segment
};

// Parses the markers of `source` (which must start at the stream's first
// byte) up to the first scan. On failure sets `failure` and a message a user
// understands.
bool parse_header(const ByteSource& source, FrameHeader& header, Failure& failure,
                  std::string& message);

// The Huffman table spec a scan component uses: its DHT table, else the
// standard one of slots 0 and 1, else nullptr.
const HuffmanSpec* scan_table_spec(const FrameHeader& header, TableClass table_class, int slot,
                                   HuffmanSpec& fallback);

}  // namespace lv::jpeg
