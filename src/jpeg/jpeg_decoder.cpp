#include "jpeg/jpeg_decoder.h"

#include <algorithm>
#include <cstring>

#include "jpeg/jpeg_bit_reader.h"
#include "jpeg/jpeg_entropy.h"
#include "jpeg/jpeg_idct.h"

namespace lv::jpeg {

namespace {

constexpr uint8_t kFlatSample = 128;  // what a block of zero coefficients gives

struct EntropyState {
  int16_t predictors[3] = {};
  uint32_t mcus_left = 0;
  uint8_t next_restart = 0;
};

// One block of an MCU: its scan component and its place in the MCU.
struct BlockSlot {
  int component = 0;
  int bx = 0;
  int by = 0;
};

enum class RunResult { ok, stopped };

}  // namespace

struct Decoder::Impl {
  explicit Impl(Refill r) : refill(r) {}

  Refill refill;
  ByteSource source;
  FrameHeader header;
  PictureInfo info;
  bool opened = false;
  Failure failure = Failure::none;
  std::string error;

  // Per scan component.
  std::unique_ptr<HuffmanTable[]> dc_tables;
  std::unique_ptr<HuffmanTable[]> ac_tables;
  bool skip_runs_built = false;
  int32_t multipliers[3][64] = {};
  int blocks_h[3] = {1, 1, 1};
  int blocks_v[3] = {1, 1, 1};
  BlockSlot blocks[6];
  int block_count = 0;
  int chroma_shift_x = 0;
  int chroma_shift_y = 0;

  // Samples of the MCUs of one row (or band), per frame component.
  std::vector<uint8_t> planes[3];
  size_t plane_stride[3] = {};
  std::vector<uint8_t> row_pixels;

  // The coefficient pass: where it stands between calls.
  struct CoefficientPass {
    bool active = false;
    EntrySink entries;
    EntropyState st;
    int mx = 0;
    int row = 0;
    int to_band = 0;
    uint64_t end = 0;
  } coef;
  FastBitReader coef_fast;
  SerialBitReader coef_serial;

  bool fail(Failure f, std::string message) {
    failure = f;
    error = std::move(message);
    return false;
  }
  bool usable() {
    if (failure != Failure::none && failure != Failure::stopped) return false;
    if (!opened) return fail(Failure::corrupt, "no picture is open");
    failure = Failure::none;
    error.clear();
    return true;
  }

  bool setup();
  void prepare_planes(int span_mcus);
  void flat_mcu(int local);
  bool emit_rows(int mcu_row, int x_begin, int x_end, PixelFormat format, const RowSink& rows);
  StateEntry capture(const BitReaderBase& r, const EntropyState& st, uint64_t stream_size) const;

  template <class Reader, bool kPixels>
  RunResult run_row(Reader& r, EntropyState& st, int mx_begin, int mx_end, const EntrySink* entries,
                    uint64_t stream_size);
  template <class Reader, bool kPixels>
  bool run_picture(PixelFormat format, const RowSink* rows, const EntrySink* entries);
  template <class Reader>
  bool coefficient_mcu(Reader& r, int16_t* const* out);
  template <class Reader>
  bool run_band(const ByteSource& window, const StateEntry& entry, int mcu_row, int band,
                PixelFormat format, const RowSink& rows);
};

bool Decoder::Impl::setup() {
  const FrameHeader& h = header;
  info = PictureInfo{};
  info.width = h.width;
  info.height = h.height;
  info.components = h.component_count;
  info.transform = h.transform;
  info.restart_interval = h.restart_interval;
  info.scan_offset = h.scan_offset;
  info.stream_size = source.stream_size();
  if (info.stream_size > UINT32_MAX) return fail(Failure::unsupported, "the file is too large");

  int hmax = 1, vmax = 1;
  if (h.component_count == 3) {
    hmax = h.components[0].h;
    vmax = h.components[0].v;
  }
  info.mcu_width = 8 * hmax;
  info.mcu_height = 8 * vmax;
  info.mcus_per_row = (h.width + info.mcu_width - 1) / info.mcu_width;
  info.mcu_rows = (h.height + info.mcu_height - 1) / info.mcu_height;
  info.bands_per_row = (h.width + kBandWidth - 1) / kBandWidth;
  info.mcus_per_band = kBandWidth / info.mcu_width;
  chroma_shift_x = hmax == 2 ? 1 : 0;
  chroma_shift_y = vmax == 2 ? 1 : 0;

  // Not zeroed: build() fills what decoding reads, and the tables are large.
  dc_tables.reset(new HuffmanTable[3]);
  ac_tables.reset(new HuffmanTable[3]);
  skip_runs_built = false;
  block_count = 0;
  for (int s = 0; s < h.scan_component_count; ++s) {
    const ScanComponent& sc = h.scan[s];
    const FrameComponent& fc = h.components[sc.frame_index];
    HuffmanSpec fallback_dc, fallback_ac;
    const HuffmanSpec* dc = scan_table_spec(h, TableClass::dc, sc.dc_slot, fallback_dc);
    const HuffmanSpec* ac = scan_table_spec(h, TableClass::ac, sc.ac_slot, fallback_ac);
    if (!dc || !ac) return fail(Failure::corrupt, "a Huffman table is missing");
    if (!dc_tables[s].build(*dc, TableClass::dc) || !ac_tables[s].build(*ac, TableClass::ac))
      return fail(Failure::corrupt, "a bad Huffman table");
    ifast_multipliers(h.quant[fc.quant_slot], multipliers[s]);
    // A single component is not interleaved: its MCU is one block whatever
    // its sampling factors.
    blocks_h[s] = h.component_count == 1 ? 1 : fc.h;
    blocks_v[s] = h.component_count == 1 ? 1 : fc.v;
    for (int by = 0; by < blocks_v[s]; ++by)
      for (int bx = 0; bx < blocks_h[s]; ++bx) blocks[block_count++] = BlockSlot{s, bx, by};
  }
  return true;
}

void Decoder::Impl::prepare_planes(int span_mcus) {
  for (int s = 0; s < header.scan_component_count; ++s) {
    const int f = header.scan[s].frame_index;
    plane_stride[f] = static_cast<size_t>(span_mcus) * blocks_h[s] * 8;
    const size_t size = plane_stride[f] * blocks_v[s] * 8;
    if (planes[f].size() < size) planes[f].resize(size);
  }
}

void Decoder::Impl::flat_mcu(int local) {
  for (int s = 0; s < header.scan_component_count; ++s) {
    const int f = header.scan[s].frame_index;
    const size_t width = static_cast<size_t>(blocks_h[s]) * 8;
    uint8_t* p = planes[f].data() + local * width;
    for (int y = 0; y < blocks_v[s] * 8; ++y)
      std::memset(p + y * plane_stride[f], kFlatSample, width);
  }
}

StateEntry Decoder::Impl::capture(const BitReaderBase& r, const EntropyState& st,
                                  uint64_t stream_size) const {
  StateEntry e;
  uint64_t offset = 0;
  r.canonical_position(offset, e.bits);
  for (int c = 0; c < 3; ++c) e.dc[c] = st.predictors[c];
  e.mcus_left = st.mcus_left;
  e.bytes_left = static_cast<uint32_t>(stream_size - offset);
  e.next_restart = st.next_restart;
  e.marker = 0;
  return e;
}

template <class Reader, bool kPixels>
RunResult Decoder::Impl::run_row(Reader& r, EntropyState& st, int mx_begin, int mx_end,
                                 const EntrySink* entries, uint64_t stream_size) {
  const uint32_t interval = info.restart_interval;
  const int band_mcus = info.mcus_per_band;
  // MCUs until the next band starts (a division per MCU costs more than a
  // scan's Huffman decoding of a small block).
  int to_band = (band_mcus - mx_begin % band_mcus) % band_mcus;
  for (int mx = mx_begin; mx < mx_end; ++mx, --to_band) {
    if (to_band == 0) {
      to_band = band_mcus;
      if (entries && !(*entries)(capture(r, st, stream_size))) return RunResult::stopped;
    }
    if (interval) {
      if (st.mcus_left == 0) {
        r.restart(st.next_restart);
        st.predictors[0] = st.predictors[1] = st.predictors[2] = 0;
        st.mcus_left = interval;
      }
    }
    const int local = mx - mx_begin;
    if (r.exhausted()) {
      // The data of this restart interval has run out: the MCU stays flat
      // grey and the predictors stay, as in libjpeg.
      if constexpr (kPixels) flat_mcu(local);
    } else {
      for (int b = 0; b < block_count; ++b) {
        const BlockSlot& slot = blocks[b];
        const int s = slot.component;
        if constexpr (kPixels) {
          alignas(16) int16_t coef[64];
          std::memset(coef, 0, sizeof coef);
          const int f = header.scan[s].frame_index;
          const size_t stride = plane_stride[f];
          uint8_t* out = planes[f].data() + slot.by * 8 * stride +
                         (static_cast<size_t>(local) * blocks_h[s] + slot.bx) * 8;
          if (decode_block(r, dc_tables[s], ac_tables[s], st.predictors[s], coef)) {
            idct_ifast(coef, multipliers[s], out, stride);
          } else {
            const uint8_t v = idct_ifast_flat(coef[0], multipliers[s][0]);
            for (int y = 0; y < 8; ++y) std::memset(out + y * stride, v, 8);
          }
        } else {
          skip_block(r, dc_tables[s], ac_tables[s], st.predictors[s]);
        }
      }
    }
    if (interval) --st.mcus_left;
  }
  return RunResult::ok;
}

bool Decoder::Impl::emit_rows(int mcu_row, int x_begin, int x_end, PixelFormat format,
                              const RowSink& rows) {
  const int count = x_end - x_begin;
  row_pixels.resize(static_cast<size_t>(count) * bytes_per_pixel(format));
  const int top = mcu_row * info.mcu_height;
  const int height = info.row_height(mcu_row);
  for (int y = 0; y < height; ++y) {
    const uint8_t* c0 = planes[0].data() + y * plane_stride[0];
    const uint8_t* c1 = nullptr;
    const uint8_t* c2 = nullptr;
    if (header.component_count == 3) {
      c1 = planes[1].data() + (y >> chroma_shift_y) * plane_stride[1];
      c2 = planes[2].data() + (y >> chroma_shift_y) * plane_stride[2];
    }
    convert_row(info.transform, format, chroma_shift_x, c0, c1, c2, count, row_pixels.data());
    if (!rows(top + y, row_pixels.data())) return false;
  }
  return true;
}

template <class Reader, bool kPixels>
bool Decoder::Impl::run_picture(PixelFormat format, const RowSink* rows, const EntrySink* entries) {
  Reader r;
  if (!r.start(source, info.scan_offset))
    return fail(Failure::corrupt, "the picture data is missing");
  EntropyState st;
  st.mcus_left = info.restart_interval;
  if constexpr (kPixels) prepare_planes(info.mcus_per_row);
  for (int row = 0; row < info.mcu_rows; ++row) {
    if (run_row<Reader, kPixels>(r, st, 0, info.mcus_per_row, entries, info.stream_size) ==
        RunResult::stopped)
      return fail(Failure::stopped, "stopped");
    if constexpr (kPixels) {
      if (!emit_rows(row, 0, info.width, format, *rows)) return fail(Failure::stopped, "stopped");
    }
  }
  return true;
}

template <class Reader>
bool Decoder::Impl::coefficient_mcu(Reader& r, int16_t* const* out) {
  CoefficientPass& c = coef;
  if (!c.active || c.row >= info.mcu_rows) return fail(Failure::corrupt, "no MCU left");
  if (c.to_band == 0) {
    c.to_band = info.mcus_per_band;
    if (c.entries && !c.entries(capture(r, c.st, info.stream_size)))
      return fail(Failure::stopped, "stopped");
  }
  const uint32_t interval = info.restart_interval;
  if (interval && c.st.mcus_left == 0) {
    r.restart(c.st.next_restart);
    c.st.predictors[0] = c.st.predictors[1] = c.st.predictors[2] = 0;
    c.st.mcus_left = interval;
  }
  // Data run out: the blocks stay zero (flat grey) and the predictors stay.
  if (!r.exhausted()) {
    for (int b = 0; b < block_count; ++b) {
      if (!out[b]) return fail(Failure::corrupt, "no block to fill");
      const int s = blocks[b].component;
      decode_block(r, dc_tables[s], ac_tables[s], c.st.predictors[s], out[b]);
    }
  }
  if (interval) --c.st.mcus_left;
  --c.to_band;
  if (++c.mx == info.mcus_per_row) {
    c.mx = 0;
    c.to_band = 0;
    if (++c.row == info.mcu_rows) {
      uint8_t bits = 0;  // what is left of the last byte is padding
      r.canonical_position(c.end, bits);
      c.active = false;
    }
  }
  return true;
}

template <class Reader>
bool Decoder::Impl::run_band(const ByteSource& window, const StateEntry& entry, int mcu_row,
                             int band, PixelFormat format, const RowSink& rows) {
  if (mcu_row < 0 || mcu_row >= info.mcu_rows || band < 0 || band >= info.bands_per_row)
    return fail(Failure::bad_entry, "no such band");
  if (!window.valid() || window.stream_size() != info.stream_size)
    return fail(Failure::bad_entry, "the window is not of this picture's stream");
  const uint32_t interval = info.restart_interval;
  if (entry.bytes_left > info.stream_size || entry.next_restart > 7 ||
      (interval && entry.mcus_left > interval))
    return fail(Failure::bad_entry, "a state entry that does not fit the picture");
  const uint64_t offset = info.stream_size - entry.bytes_left;
  if (offset < info.scan_offset)
    return fail(Failure::bad_entry, "a state entry that points into the header");
  Reader r;
  if (!r.resume(window, offset, entry.bits, entry.marker))
    return fail(Failure::bad_entry, "the window does not hold the state entry's bytes");
  EntropyState st;
  for (int c = 0; c < 3; ++c) st.predictors[c] = entry.dc[c];
  st.mcus_left = interval ? entry.mcus_left : 0;
  st.next_restart = entry.next_restart;

  const int mx_begin = band * info.mcus_per_band;
  const int mx_end = std::min(info.mcus_per_row, mx_begin + info.mcus_per_band);
  prepare_planes(mx_end - mx_begin);
  run_row<Reader, true>(r, st, mx_begin, mx_end, nullptr, info.stream_size);
  const int x_begin = band * kBandWidth;
  if (!emit_rows(mcu_row, x_begin, x_begin + info.band_width(band), format, rows))
    return fail(Failure::stopped, "stopped");
  return true;
}

Decoder::Decoder(Refill refill) : m_impl(std::make_unique<Impl>(refill)) {}
Decoder::~Decoder() = default;

bool Decoder::open(const ByteSource& source) {
  Impl& d = *m_impl;
  d.opened = false;
  d.failure = Failure::none;
  d.error.clear();
  d.source = source;
  Failure failure = Failure::none;
  if (!parse_header(source, d.header, failure, d.error)) return d.fail(failure, d.error);
  if (!d.setup()) return false;
  d.opened = true;
  return true;
}

const PictureInfo& Decoder::info() const {
  return m_impl->info;
}
bool Decoder::failed() const {
  return m_impl->failure != Failure::none && m_impl->failure != Failure::stopped;
}
Failure Decoder::failure() const {
  return m_impl->failure;
}
const std::string& Decoder::error() const {
  return m_impl->error;
}

bool Decoder::decode(PixelFormat format, const RowSink& rows, const EntrySink& entries) {
  Impl& d = *m_impl;
  if (!d.usable()) return false;
  const EntrySink* e = entries ? &entries : nullptr;
  if (d.refill == Refill::word) return d.run_picture<FastBitReader, true>(format, &rows, e);
  return d.run_picture<SerialBitReader, true>(format, &rows, e);
}

bool Decoder::decode_to(PixelFormat format, uint8_t* pixels, size_t pitch,
                        const EntrySink& entries) {
  const size_t row_bytes = static_cast<size_t>(info().width) * bytes_per_pixel(format);
  return decode(
      format,
      [&](int y, const uint8_t* row) {
        std::memcpy(pixels + static_cast<size_t>(y) * pitch, row, row_bytes);
        return true;
      },
      entries);
}

bool Decoder::scan(const EntrySink& entries) {
  Impl& d = *m_impl;
  if (!d.usable()) return false;
  if (!d.skip_runs_built) {
    for (int s = 0; s < d.header.scan_component_count; ++s) d.ac_tables[s].build_skip_runs();
    d.skip_runs_built = true;
  }
  if (d.refill == Refill::word)
    return d.run_picture<FastBitReader, false>(PixelFormat::rgb888, nullptr, &entries);
  return d.run_picture<SerialBitReader, false>(PixelFormat::rgb888, nullptr, &entries);
}

bool Decoder::scan_index(std::vector<uint8_t>& index) {
  index.clear();
  if (m_impl->opened) index.reserve(info().entry_count() * StateEntry::kSize);
  return scan([&](const StateEntry& e) {
    uint8_t bytes[StateEntry::kSize];
    e.encode(bytes);
    index.insert(index.end(), bytes, bytes + StateEntry::kSize);
    return true;
  });
}

bool Decoder::begin_coefficients(const EntrySink& entries) {
  Impl& d = *m_impl;
  if (!d.usable()) return false;
  Impl::CoefficientPass& c = d.coef;
  c = Impl::CoefficientPass{};
  c.entries = entries;
  c.st.mcus_left = d.info.restart_interval;
  const bool started = d.refill == Refill::word ? d.coef_fast.start(d.source, d.info.scan_offset)
                                                : d.coef_serial.start(d.source, d.info.scan_offset);
  if (!started) return d.fail(Failure::corrupt, "the picture data is missing");
  c.active = true;
  return true;
}

int Decoder::blocks_per_mcu() const {
  return m_impl->opened ? m_impl->block_count : 0;
}

bool Decoder::next_mcu(int16_t* const* blocks) {
  Impl& d = *m_impl;
  if (d.failure != Failure::none) return false;
  if (d.refill == Refill::word) return d.coefficient_mcu(d.coef_fast, blocks);
  return d.coefficient_mcu(d.coef_serial, blocks);
}

uint64_t Decoder::coefficients_end() const {
  return m_impl->coef.end;
}

bool Decoder::decode_band(const ByteSource& window, const StateEntry& entry, int mcu_row, int band,
                          PixelFormat format, const RowSink& rows) {
  Impl& d = *m_impl;
  if (!d.usable()) return false;
  if (d.refill == Refill::word)
    return d.run_band<FastBitReader>(window, entry, mcu_row, band, format, rows);
  return d.run_band<SerialBitReader>(window, entry, mcu_row, band, format, rows);
}

}  // namespace lv::jpeg
