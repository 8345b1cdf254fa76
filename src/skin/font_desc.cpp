#include "skin/font_desc.h"

#include <algorithm>
#include <limits>

namespace lv {

namespace {

struct Field {
  std::u16string_view text;
  size_t end = 0;  // position just after the field
};

size_t skip_space(std::u16string_view text, size_t pos) {
  while (pos < text.size() && is_font_space(text[pos])) ++pos;
  return pos;
}

Field next_field(std::u16string_view text, size_t pos) {
  pos = skip_space(text, pos);
  size_t end = pos;
  while (end < text.size() && !is_font_space(text[end])) ++end;
  return {text.substr(pos, end - pos), end};
}

// A decimal integer with an optional sign, all of the field. Values beyond
// the 32-bit range are not numbers.
bool parse_int(std::u16string_view field, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == u'+' || field[i] == u'-')) {
    negative = field[i] == u'-';
    ++i;
  }
  if (i == field.size()) return false;
  int64_t v = 0;
  for (; i < field.size(); ++i) {
    const char16_t c = field[i];
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

FontDesc FontDesc::for_skin_scale(int32_t skin_scale) {
  FontDesc desc;
  desc.scale_factor = 1u << std::clamp(skin_scale, 0, 2);
  return desc;
}

bool is_font_space(char16_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  switch (c) {
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

void parse_font_description(std::u16string_view text, FontDesc& desc) {
  size_t pos = 0;
  int32_t numbers[4];
  for (int i = 0; i < 4; ++i) {
    const Field field = next_field(text, pos);
    if (!parse_int(field.text, numbers[i])) return;
    pos = field.end;
    switch (i) {
      case 0:
        desc.height = numbers[0];
        break;
      case 1:
        desc.bold = numbers[1] != 0;
        break;
      case 2:
        desc.italic = numbers[2] != 0;
        break;
      default:
        desc.underline = numbers[3] != 0;
        break;
    }
  }
  // The face is the rest; a name never ends in white space, so trailing
  // blanks (a padded description) are not part of it.
  const size_t begin = skip_space(text, pos);
  size_t end = text.size();
  while (end > begin && is_font_space(text[end - 1])) --end;
  if (end > begin) desc.face.assign(text.substr(begin, end - begin));
}

int32_t logical_height(int32_t height, uint32_t scale_factor) {
  const int64_t n = int64_t{height} * scale_factor;
  if (n >= 0 && n < 20) return -kPointPixelHeights[n];
  const int64_t pixels = -(n * 96 / 72);
  return static_cast<int32_t>(std::clamp<int64_t>(pixels, -std::numeric_limits<int32_t>::max(),
                                                  std::numeric_limits<int32_t>::max()));
}

LogicalFont logical_font(const FontDesc& desc) {
  LogicalFont font;
  font.height = logical_height(desc.height, desc.scale_factor);
  font.weight = desc.bold ? 700 : 400;
  font.italic = desc.italic != 0;
  font.underline = desc.underline != 0;
  size_t length = std::min(desc.face.size(), kMaxFaceLength);
  // Never keep half of a surrogate pair.
  if (length == kMaxFaceLength && length < desc.face.size() && desc.face[length - 1] >= 0xD800 &&
      desc.face[length - 1] <= 0xDBFF)
    --length;
  font.face = desc.face.substr(0, length);
  return font;
}

}  // namespace lv
