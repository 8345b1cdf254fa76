#include "jpeg/jpeg_huffman.h"

#include <algorithm>
#include <cstring>

namespace lv::jpeg {

namespace {

// ITU T.81 Annex K.3: the code-length counts of the four example tables, and
// the values of their codes up to 15 bits. The 16-bit codes of the AC tables
// carry, in increasing order, every run/size value with a size of 1 .. 10
// that a shorter code does not already carry.
constexpr uint8_t kDcLumaCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcChromaCounts[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kAcLumaCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kAcChromaCounts[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kAcLumaShort[] = {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31,
                                    0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32,
                                    0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
                                    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82};
constexpr uint8_t kAcChromaShort[] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1};

HuffmanSpec make_spec(const uint8_t* counts, const uint8_t* short_values, int short_count,
                      bool add_16_bit_codes) {
  HuffmanSpec spec;
  spec.defined = true;
  std::memcpy(spec.counts, counts, 16);
  int n = 0;
  for (int i = 0; i < short_count; ++i) spec.values[n++] = short_values[i];
  if (add_16_bit_codes) {
    for (int run = 0; run < 16; ++run) {
      for (int size = 1; size <= 10; ++size) {
        const uint8_t v = static_cast<uint8_t>((run << 4) | size);
        if (std::find(short_values, short_values + short_count, v) == short_values + short_count)
          spec.values[n++] = v;
      }
    }
  }
  spec.value_count = n;
  return spec;
}

}  // namespace

HuffmanSpec standard_huffman_spec(TableClass table_class, int slot) {
  if (table_class == TableClass::dc) {
    const uint8_t digits[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    return make_spec(slot == 0 ? kDcLumaCounts : kDcChromaCounts, digits, 12, false);
  }
  if (slot == 0) return make_spec(kAcLumaCounts, kAcLumaShort, sizeof kAcLumaShort, true);
  return make_spec(kAcChromaCounts, kAcChromaShort, sizeof kAcChromaShort, true);
}

bool HuffmanTable::build(const HuffmanSpec& spec, TableClass table_class) {
  int total = 0;
  counts[0] = 0;
  for (int len = 1; len <= 16; ++len) {
    counts[len] = spec.counts[len - 1];
    total += counts[len];
  }
  if (!spec.defined || total > 256 || total > spec.value_count) return false;
  std::memcpy(values, spec.values, 256);
  if (table_class == TableClass::dc) {
    for (int i = 0; i < total; ++i)
      if (values[i] > 15) return false;
  }

  // ITU T.81 C.2: canonical codes, length by length. After the codes of a
  // length the next code must still fit in that length: a code of all 1
  // bits is reserved as a prefix, and more codes would not be a prefix code.
  std::memset(lookup, 0, sizeof lookup);
  std::memset(fast, 0, sizeof fast);
  int32_t code = 0;
  int index = 0;
  for (int len = 1; len <= 16; ++len) {
    value_offset[len] = index - code;
    for (int i = 0; i < counts[len]; ++i, ++index, ++code) {
      if (code >= (1 << len)) return false;  // over-subscribed: checked before any use
      if (len > kLookupBits) continue;
      const int shift = kLookupBits - len;
      const int sym = values[index];
      const int run = sym >> 4;
      const int size = sym & 15;
      for (int fill = 0; fill < (1 << shift); ++fill) {
        const int look = (code << shift) | fill;
        lookup[look] = static_cast<uint16_t>((len << 8) | sym);
        // A DC value is the magnitude category itself.
        const int mag = table_class == TableClass::dc ? sym : size;
        const int r = table_class == TableClass::dc ? 0 : run;
        if (mag > 0 && len + mag <= kLookupBits) {
          // The extra bits follow the code within the looked-ahead bits.
          const int extra = (fill >> (shift - mag)) & ((1 << mag) - 1);
          const int value = extra < (1 << (mag - 1)) ? extra - (1 << mag) + 1 : extra;
          fast[look] =
              static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | (r << 8) | (len + mag);
        }
      }
    }
    max_code[len] = counts[len] ? code - 1 : -1;
    if (code >= (1 << len)) return false;
    code <<= 1;
  }
  max_code[17] = 0x7fffffff;
  return true;
}

void HuffmanTable::build_skip_runs() {
  for (int look = 0; look < kLookupSize; ++look) {
    const int len = lookup[look] >> 8;
    const int sym = lookup[look] & 0xff;
    const int run = sym >> 4;
    const int size = sym & 15;
    const int advance = size != 0 ? run + 1 : run == 15 ? 16 : 64;
    skip[look] = len == 0 ? 0 : static_cast<uint16_t>((advance << 5) | (len + size));
  }

  constexpr int kMaxAdvance = 64;  // a longer run can never be taken whole
  for (uint32_t bits = 0; bits < (1u << kRunBits); ++bits) {
    int used = 0;
    int advance = 0;
    uint16_t end = 0;
    while (used < kRunBits && advance <= kMaxAdvance) {
      int sym = -1, len = 0;
      for (int l = 1; used + l <= kRunBits && l <= 16; ++l) {
        const int32_t code =
            static_cast<int32_t>((bits >> (kRunBits - used - l)) & ((1u << l) - 1));
        if (code <= max_code[l]) {
          sym = values[(code + value_offset[l]) & 0xff];
          len = l;
          break;
        }
      }
      if (sym < 0) break;  // the next code does not fit
      const int run = sym >> 4;
      const int size = sym & 15;
      used += len;
      if (size == 0 && run != 15) {
        end = kRunEnd;
        break;
      }
      used += size;
      advance += size ? run + 1 : 16;
    }
    // Used bits stay below 32 (a code within kRunBits and at most 15 extra
    // bits), the advance below 128 (at most 64 plus one more ZRL).
    skip_run[bits] = used == 0 ? 0 : static_cast<uint16_t>(end | (advance << 5) | used);
  }
}

int HuffmanTable::decode_long(uint32_t next16, int& length) const {
  for (int len = kLookupBits + 1; len <= 16; ++len) {
    const int32_t code = static_cast<int32_t>(next16 >> (16 - len));
    if (code <= max_code[len]) {
      length = len;
      return values[(code + value_offset[len]) & 0xff];
    }
  }
  length = 17;
  return 0;
}

}  // namespace lv::jpeg
