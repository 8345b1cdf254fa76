#pragma once

// What must hold for any bytes given to the own baseline JPEG decoder. The
// fuzz target runs it on every input; the unit tests replay stored inputs
// through it (the shared test pictures the fuzzer is seeded with, every
// truncation of a picture, hand-made hostile streams), in the sanitizer
// build as well.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"

namespace lv::fuzz {

// A copy of one state entry with bits flipped in one of its bytes.
struct EntryDamage {
  uint32_t entry = 0;  // modulo the entry count
  uint8_t byte = 0;    // modulo the entry size
  uint8_t flip = 0;    // xored into that byte
};

struct Outcome {
  bool decoded = false;  // the whole decode ran and its bands were compared
  std::string fault;     // what did not hold; empty when all did
};

// Pictures above this many pixels are only scanned: larger ones cost time,
// not other paths.
inline constexpr double kDecodePixels = 1 << 22;

// `data` must hold exactly `size` bytes, so that a read past them shows
// under ASan. Checks:
//  - a refusal names its reason and the refused decoder does nothing more
//    (it stays failed: no scan, no decode);
//  - the whole decode gives every row in order and one entry per band of
//    every MCU row, canonical and never going back in the stream;
//  - the index is the same from the decode and from the scans with either
//    refill strategy;
//  - every band decoded from its entry by a decoder that has only the header
//    bytes and a window as the tile source reads it (from 6 bytes before the
//    entry's offset to 400 past the next entry's) equals the whole decode;
//  - the damaged entry gives rows or a refusal as a bad entry.
inline Outcome check_decoder(const uint8_t* data, size_t size, EntryDamage damage = {}) {
  using namespace lv::jpeg;
  auto fault = [](const std::string& what) { return Outcome{false, what}; };
  const ByteSource all(data, size);
  const auto any_entry = [](const StateEntry&) { return true; };
  Decoder d;
  if (!d.open(all)) {
    if (d.failure() == Failure::none || d.error().empty() || !d.failed())
      return fault("refused without a reason");
    const bool worked = d.scan(any_entry) ||
                        d.decode(PixelFormat::rgb888, [](int, const uint8_t*) { return true; });
    return worked ? fault("worked after refusing") : Outcome{};
  }
  const PictureInfo info = d.info();
  const double pixels = static_cast<double>(info.width) * info.height;
  if (pixels > kDecodePixels)
    return pixels > 40e6 || d.scan(any_entry) ? Outcome{} : fault("the scan failed: " + d.error());

  const size_t pitch = static_cast<size_t>(info.width) * 3;
  std::vector<uint8_t> whole(pitch * info.height);
  std::vector<StateEntry> entries;
  int rows = 0;
  const auto on_row = [&](int y, const uint8_t* px) {
    if (y == rows && y < info.height) std::memcpy(whole.data() + y * pitch, px, pitch);
    rows = y == rows ? rows + 1 : info.height + 1;  // a row out of order spoils the count
    return true;
  };
  if (!d.decode(PixelFormat::rgb888, on_row,
                [&](const StateEntry& e) { return entries.push_back(e), true; }))
    return fault("the decode failed: " + d.error());
  if (rows != info.height) return fault("rows missing or out of order");
  if (entries.size() != info.entry_count())
    return fault(std::to_string(entries.size()) + " entries for " +
                 std::to_string(info.entry_count()) + " bands");
  std::vector<uint8_t> from_decode, fast, serial;
  for (size_t e = 0; e < entries.size(); ++e) {
    const StateEntry& entry = entries[e];
    const bool first_ok = e > 0 || (entry.bits == 0 && entry.bytes_left == size - info.scan_offset);
    if (!first_ok || entry.bits > 7 || entry.marker != 0 ||
        (e > 0 && entry.bytes_left > entries[e - 1].bytes_left))
      return fault("entry " + std::to_string(e) + " is not canonical");
    const auto b = entry.bytes();
    from_decode.insert(from_decode.end(), b.begin(), b.end());
  }
  Decoder bytewise(Refill::byte);
  if (!d.scan_index(fast) || !bytewise.open(all) || !bytewise.scan_index(serial) ||
      fast != from_decode || serial != from_decode)
    return fault("the index depends on the refill strategy");

  const std::vector<uint8_t> header(data, data + info.scan_offset);
  // Rows of the band from `entry` as a tile decodes them; how many matched the whole decode.
  auto band = [&](const StateEntry& entry, size_t e, Decoder& tile, uint64_t end) {
    const int row = static_cast<int>(e / info.bands_per_row), b = int(e % info.bands_per_row);
    const uint64_t offset = entry.bytes_left <= size ? size - entry.bytes_left : 0;
    const uint64_t begin = e == 0 || offset < 6 ? offset : offset - 6;
    end = std::max(begin, std::min<uint64_t>(end, size));
    std::vector<uint8_t> piece(data + begin, data + end);  // exactly the window
    int same = 0;
    const auto compare = [&](int y, const uint8_t* px) {
      if (y >= 0 && y < info.height)
        same +=
            !std::memcmp(px, whole.data() + y * pitch + b * kBandWidth * 3, info.band_width(b) * 3);
      return true;
    };
    const bool ok = tile.open(ByteSource(header.data(), header.size(), 0, size)) &&
                    tile.decode_band(ByteSource::owning(std::move(piece), begin, size), entry, row,
                                     b, PixelFormat::rgb888, compare);
    return ok ? same : -1;
  };
  for (size_t e = 0; e < entries.size(); ++e) {
    const uint64_t end = e + 1 < entries.size() ? info.resume_offset(entries[e + 1]) + 400 : size;
    // Alternate the refill strategies: resuming must not depend on them.
    Decoder tile(e % 2 ? Refill::byte : Refill::word);
    if (band(entries[e], e, tile, end) != info.row_height(static_cast<int>(e / info.bands_per_row)))
      return fault("band " + std::to_string(e) + " differs from the whole decode " + tile.error());
  }

  const size_t e = damage.entry % entries.size();
  auto raw = entries[e].bytes();
  raw[damage.byte % raw.size()] ^= damage.flip;
  const StateEntry damaged = StateEntry::decode(raw.data());
  Decoder tile;
  if (band(damaged, e, tile, size - std::min<uint64_t>(damaged.bytes_left, size) + 400) < 0 &&
      tile.failure() != Failure::bad_entry)
    return fault("a damaged entry failed as something else: " + tile.error());
  return {true, ""};
}

}  // namespace lv::fuzz
