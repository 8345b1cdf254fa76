#pragma once

// The program's own baseline JPEG decoder, the one that makes and reads the
// decoder-state index of the cache files.
//
// It takes sequential Huffman pictures (SOF0, SOF1) with 8-bit samples, one
// or three components in one interleaved scan, luma sampled at most 2 x 2
// with chroma 1 x 1 (MCUs of 8 or 16 pixels each way), and restart intervals.
// Anything else is refused with Failure::unsupported, and callers fall back
// to libjpeg. Output is RGB888 or RGB565 whatever the components; the IDCT,
// the box upsampling and the colour conversion are libjpeg's JDCT_IFAST
// arithmetic with do_fancy_upsampling off, so the pixels match libjpeg-turbo
// decoding with those settings.
//
// Index: before the first MCU of every 256-pixel-wide band of every MCU row
// the decoder reports its state as a StateEntry (canonical form, see
// jpeg_state.h), so entry number = band + MCU row * bands per row. A band of
// one MCU row decoded from its entry gives exactly the pixels of the same
// rectangle of a whole decode.
//
// Usage:
//   Decoder d;
//   if (!d.open(ByteSource(bytes, size))) fall back (d.failure(), d.error());
//   d.decode(PixelFormat::rgb888, on_row, on_entry);  // pixels and index
//   d.scan(on_entry);                                  // index only, fast
//   d.begin_coefficients(on_entry); d.next_mcu(blocks) ...  // for libjpeg's IDCT
// and for a tile, with a decoder opened on the level's header bytes (the
// stream before the first MCU, as a ByteSource with the level's stream size):
//   d.decode_band(window, entry, mcu_row, band, PixelFormat::rgb565, on_row);
// where the window holds the stream bytes from 6 before the entry's offset
// (resume_offset) to past the band's last byte.
//
// Corrupt data is decoded as libjpeg does (a bad code gives 0, a missing
// segment is mid-grey); a header it cannot use, or a wrong entry or window,
// fails the decoder for good. One decoder serves one thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_color.h"
#include "jpeg/jpeg_markers.h"
#include "jpeg/jpeg_state.h"

namespace lv::jpeg {

inline constexpr int kBandWidth = 256;

struct PictureInfo {
  int width = 0;
  int height = 0;
  int components = 0;  // in the stream: 1 or 3
  ColorTransform transform = ColorTransform::ycbcr;
  int mcu_width = 8;   // 8 or 16
  int mcu_height = 8;  // 8 or 16
  int mcus_per_row = 0;
  int mcu_rows = 0;
  int bands_per_row = 0;  // ceil(width / 256)
  int mcus_per_band = 0;  // 256 / mcu_width
  uint32_t restart_interval = 0;
  uint64_t scan_offset = 0;  // the first byte after the SOS segment
  uint64_t stream_size = 0;

  uint64_t entry_count() const { return static_cast<uint64_t>(mcu_rows) * bands_per_row; }
  int band_width(int band) const {
    const int left = band * kBandWidth;
    return width - left < kBandWidth ? width - left : kBandWidth;
  }
  int row_height(int mcu_row) const {
    const int top = mcu_row * mcu_height;
    return height - top < mcu_height ? height - top : mcu_height;
  }
  // Where decoding resumes for an entry.
  uint64_t resume_offset(const StateEntry& e) const { return stream_size - e.bytes_left; }
};

// Receives one output row: y from the top of the picture, then the pixels
// (whole rows for decode, the band's columns for decode_band). Returning
// false stops the decode.
using RowSink = std::function<bool(int y, const uint8_t* pixels)>;
// Receives one state entry, in decoding order. Returning false stops.
using EntrySink = std::function<bool(const StateEntry& entry)>;

// How the bit buffer is refilled: eight bytes at a time into 64 bits, or one
// byte only when the next bit is needed (with bit-serial Huffman decoding),
// which must give the same pixels and the same entries.
enum class Refill { word, byte };

class Decoder {
 public:
  explicit Decoder(Refill refill = Refill::word);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Parses the header. The source's bytes must stay alive while the decoder
  // is used; it must start at the stream's first byte, and its stream size
  // counts the whole stream.
  bool open(const ByteSource& source);
  const PictureInfo& info() const;

  bool failed() const;
  Failure failure() const;  // none, or why the last call failed or stopped
  const std::string& error() const;

  // The whole picture, top to bottom; entries reported on the way when
  // `entries` is set.
  bool decode(PixelFormat format, const RowSink& rows, const EntrySink& entries = {});
  // The whole picture into `pixels`, rows `pitch` bytes apart.
  bool decode_to(PixelFormat format, uint8_t* pixels, size_t pitch, const EntrySink& entries = {});
  // The entries only: Huffman decoding without IDCT or colours.
  bool scan(const EntrySink& entries);
  // The index block: every entry in its 17-byte form, in order.
  bool scan_index(std::vector<uint8_t>& index);

  // Coefficients for another decoder's IDCT (libjpeg's, when it makes the
  // pixels of a cache level, so that the stream is Huffman decoded once):
  // the MCUs one at a time in decoding order, with the entries reported on
  // the way as decode() reports them. Each next_mcu() fills blocks_per_mcu()
  // blocks of 64 quantised coefficients, natural order, all zero on entry,
  // in the order of the scan's components.
  bool begin_coefficients(const EntrySink& entries);
  int blocks_per_mcu() const;
  bool next_mcu(int16_t* const* blocks);
  // After the last MCU: the stream offset just past the scan's data, where
  // the markers that follow it begin.
  uint64_t coefficients_end() const;

  // One band of one MCU row, from that band's entry. `window` is a piece of
  // the same stream that holds the entry's offset and the six bytes before
  // it (for an entry with bits) and the band's data.
  bool decode_band(const ByteSource& window, const StateEntry& entry, int mcu_row, int band,
                   PixelFormat format, const RowSink& rows);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace lv::jpeg
