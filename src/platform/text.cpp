#include "platform/text.h"

#include <cstdint>

namespace lv::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}

// The well-formed UTF-8 byte sequences of the Unicode standard (table 3-7):
// the lead byte fixes the length and the allowed range of the second byte,
// which excludes overlong forms, surrogates and values above U+10FFFF.
struct LeadInfo {
  int length;  // 0: not a lead byte
  uint8_t second_lo;
  uint8_t second_hi;
};

LeadInfo lead_info(uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b < 0xC2) return {0, 0, 0};
  if (b < 0xE0) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b < 0xF0) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b < 0xF4) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = kReplacement;
    }
    append_utf8(out, c);
  }
  return out;
}

// An ill-formed sequence is replaced by one U+FFFD per maximal subpart (the
// longest prefix of a well-formed sequence), as the Unicode standard
// recommends; the byte that broke the sequence starts the next one.
std::u16string from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b = static_cast<uint8_t>(text[i]);
    const LeadInfo lead = lead_info(b);
    if (lead.length == 1) {
      out.push_back(b);
      ++i;
      continue;
    }
    if (lead.length == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    char32_t c = b & (0xFF >> (lead.length + 1));
    size_t j = i + 1;
    bool complete = true;
    for (int k = 1; k < lead.length; ++k, ++j) {
      if (j >= n) {
        complete = false;
        break;
      }
      const uint8_t t = static_cast<uint8_t>(text[j]);
      const uint8_t lo = k == 1 ? lead.second_lo : 0x80;
      const uint8_t hi = k == 1 ? lead.second_hi : 0xBF;
      if (t < lo || t > hi) {
        complete = false;
        break;
      }
      c = (c << 6) | (t & 0x3F);
    }
    append_utf16(out, complete ? c : kReplacement);
    i = j;
  }
  return out;
}

}  // namespace lv::platform
