#pragma once

// Block decoding of the own baseline decoder (ITU T.81 F.2.2): the DC
// difference added to its predictor, the AC run/size symbols, written in
// natural order or only skipped. Templated on the bit reader, so the same
// code serves both refill strategies.

#include <cstdint>

#include "jpeg/jpeg_huffman.h"
#include "jpeg/jpeg_markers.h"

namespace lv::jpeg {

// The DC coefficient: the predictor plus the decoded difference. The
// predictor keeps only its low 16 bits, as the 16-bit coefficient does.
template <class Reader>
inline int16_t decode_dc(Reader& r, const HuffmanTable& dc, int16_t& predictor) {
  r.ensure();
  int diff = 0;
  bool done = false;
  if constexpr (Reader::kLookahead) {
    const int32_t f = dc.fast[r.peek()];
    if (f) {
      r.consume(f & 0xff);
      diff = f >> 16;
      done = true;
    }
  }
  if (!done) {
    const int s = r.symbol(dc);
    if (s) diff = r.receive(s);
  }
  predictor = static_cast<int16_t>(static_cast<uint16_t>(predictor) + static_cast<uint16_t>(diff));
  return predictor;
}

namespace detail {

template <class Reader>
inline bool decode_block_bits(Reader& r, const HuffmanTable& dc, const HuffmanTable& ac,
                              int16_t& predictor, int16_t* coef) {
  coef[0] = decode_dc(r, dc, predictor);
  bool any_ac = false;
  for (int k = 1; k < 64;) {
    r.ensure();
    if constexpr (Reader::kLookahead) {
      const int32_t f = ac.fast[r.peek()];
      if (f) {
        r.consume(f & 0xff);
        k += (f >> 8) & 0xff;
        coef[kNaturalOrder[k]] = static_cast<int16_t>(f >> 16);
        ++k;
        any_ac = true;
        continue;
      }
    }
    const int sym = r.symbol(ac);
    const int run = sym >> 4;
    const int size = sym & 15;
    if (size) {
      k += run;
      coef[kNaturalOrder[k]] = static_cast<int16_t>(r.receive(size));
      ++k;
      any_ac = true;
    } else {
      if (run != 15) break;  // end of block
      k += 16;
    }
  }
  return any_ac;
}

template <class Reader>
inline void skip_block_bits(Reader& r, const HuffmanTable& dc, const HuffmanTable& ac,
                            int16_t& predictor) {
  decode_dc(r, dc, predictor);
  for (int k = 1; k < 64;) {
    r.ensure();
    if constexpr (Reader::kLookahead) {
      // Several codes at once, when they all belong to this block: their
      // coefficients may reach its end exactly, an end of block must come
      // before it.
      const uint32_t run = ac.skip_run[r.peek_run()];
      if (run) {
        const int advance = static_cast<int>((run >> 5) & 127);
        if (run & HuffmanTable::kRunEnd) {
          if (k + advance < 64) {
            r.consume(static_cast<int>(run & 31));
            break;
          }
        } else if (k + advance <= 64) {
          r.consume(static_cast<int>(run & 31));
          k += advance;
          continue;
        }
      }
      const uint32_t e = ac.skip[r.peek()];
      if (e) {
        r.consume(static_cast<int>(e & 31));
        k += static_cast<int>(e >> 5);
        continue;
      }
    }
    const int sym = r.symbol(ac);
    const int run = sym >> 4;
    const int size = sym & 15;
    if (size) {
      r.skip(size);
      k += run + 1;
    } else {
      if (run != 15) break;
      k += 16;
    }
  }
}

}  // namespace detail

// Decodes one block into `coef` (natural order, all zero on entry). Returns
// whether any AC coefficient was written.
template <class Reader>
inline bool decode_block(Reader& r, const HuffmanTable& dc, const HuffmanTable& ac,
                         int16_t& predictor, int16_t* coef) {
  if constexpr (Reader::kLookahead) {
    typename Reader::Cursor cursor(r);
    return detail::decode_block_bits(cursor, dc, ac, predictor, coef);
  } else {
    return detail::decode_block_bits(r, dc, ac, predictor, coef);
  }
}

// Reads past one block, keeping only the DC predictor up to date. The AC
// table's skip runs must have been built.
template <class Reader>
inline void skip_block(Reader& r, const HuffmanTable& dc, const HuffmanTable& ac,
                       int16_t& predictor) {
  if constexpr (Reader::kLookahead) {
    typename Reader::Cursor cursor(r);
    detail::skip_block_bits(cursor, dc, ac, predictor);
  } else {
    detail::skip_block_bits(r, dc, ac, predictor);
  }
}

}  // namespace lv::jpeg
