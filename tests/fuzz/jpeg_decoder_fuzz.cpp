// libFuzzer target of the own baseline JPEG decoder: the whole decode with
// its index, the index of the byte-at-a-time reader (which must be the same),
// and a band resumed from an entry that the input's last bytes mutate.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "jpeg/jpeg_decoder.h"

using namespace lv::jpeg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last 8 bytes choose and mangle an entry; the rest is the picture.
  uint8_t control[8] = {};
  if (size >= 16) {
    std::memcpy(control, data + size - 8, 8);
    size -= 8;
  }
  // A copy of exactly the picture's bytes, so any read past them is caught.
  std::vector<uint8_t> bytes(data, data + size);
  const ByteSource source(bytes.data(), bytes.size());

  Decoder d;
  if (!d.open(source)) return 0;
  const PictureInfo info = d.info();
  // Big pictures from tiny inputs only cost time.
  if (static_cast<uint64_t>(info.width) * info.height > (1u << 22)) return 0;

  std::vector<StateEntry> entries;
  d.decode(
      PixelFormat::rgb565, [](int, const uint8_t*) { return true; },
      [&](const StateEntry& e) {
        entries.push_back(e);
        return true;
      });
  if (entries.size() != info.entry_count()) std::abort();

  std::vector<uint8_t> index;
  Decoder serial(Refill::byte);
  if (!serial.open(source) || !serial.scan_index(index)) std::abort();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (std::memcmp(entries[i].bytes().data(), index.data() + i * StateEntry::kSize,
                    StateEntry::kSize) != 0)
      std::abort();  // the index must not depend on the refill strategy
  }
  if (entries.empty()) return 0;

  const size_t e = (control[0] | (control[1] << 8)) % entries.size();
  auto raw = entries[e].bytes();
  if (control[2] & 1) raw[control[3] % StateEntry::kSize] ^= control[4];
  if (control[2] & 2) raw[control[5] % StateEntry::kSize] = control[6];
  const StateEntry entry = StateEntry::decode(raw.data());
  const int row = static_cast<int>(e / info.bands_per_row);
  const int band = static_cast<int>(e % info.bands_per_row);

  // As a tile source reads it: the header bytes, and a window around the band.
  const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + info.scan_offset);
  Decoder tile(control[7] & 1 ? Refill::byte : Refill::word);
  if (!tile.open(ByteSource(header.data(), header.size(), 0, bytes.size()))) std::abort();
  const uint64_t offset = entry.bytes_left <= bytes.size() ? bytes.size() - entry.bytes_left : 0;
  const uint64_t begin = offset >= 6 ? offset - 6 : 0;
  const uint64_t end = offset + 400 < bytes.size() ? offset + 400 : bytes.size();
  std::vector<uint8_t> piece(bytes.begin() + static_cast<ptrdiff_t>(begin),
                             bytes.begin() + static_cast<ptrdiff_t>(end));
  const ByteSource window(piece.data(), piece.size(), begin, bytes.size());
  tile.decode_band(window, entry, row, band, PixelFormat::rgb888,
                   [](int, const uint8_t*) { return true; });
  return 0;
}
