#include "jpeg/jpeg_state.h"

namespace lv::jpeg {

namespace {

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void StateEntry::encode(uint8_t* out) const {
  for (int c = 0; c < 3; ++c) put16(out + 2 * c, static_cast<uint16_t>(dc[c]));
  out[6] = bits;
  put32(out + 7, mcus_left);
  put32(out + 11, bytes_left);
  out[15] = next_restart;
  out[16] = marker;
}

std::array<uint8_t, StateEntry::kSize> StateEntry::bytes() const {
  std::array<uint8_t, kSize> out{};
  encode(out.data());
  return out;
}

StateEntry StateEntry::decode(const uint8_t* in) {
  StateEntry e;
  // Predictors are kept as their low 16 bits; sign extension restores them.
  for (int c = 0; c < 3; ++c) e.dc[c] = static_cast<int16_t>(get16(in + 2 * c));
  e.bits = in[6];
  e.mcus_left = get32(in + 7);
  e.bytes_left = get32(in + 11);
  e.next_restart = in[15];
  e.marker = in[16];
  return e;
}

}  // namespace lv::jpeg
