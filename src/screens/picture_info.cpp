#include "screens/picture_info.h"

#include <cmath>

#include "base/file_util.h"
#include "base/language.h"
#include "base/settings.h"
#include "platform/locale_time.h"
#include "platform/text.h"

namespace lv {

std::u16string decimal_text(uint64_t value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value > 0);
  return text;
}

namespace {

// Tenths of a unit, rounded: whole units from 100 on, else one decimal.
std::u16string in_units(uint64_t bytes, uint64_t unit, std::u16string_view word) {
  const uint64_t tenths = (bytes / unit) * 10 + ((bytes % unit) * 10 + unit / 2) / unit;
  std::u16string text = decimal_text(tenths / 10);
  if (tenths < 1000) {
    text += u'.';
    text += static_cast<char16_t>(u'0' + tenths % 10);
  }
  text += u' ';
  text += word;
  return text;
}

void add(std::vector<PictureProperty>& out, const LanguageTable& language, std::u16string_view key,
         std::u16string value) {
  out.push_back({language.lookup(key), std::move(value)});
}

}  // namespace

std::u16string size_text(uint64_t bytes, const LanguageTable& language) {
  if (bytes < 1024) return decimal_text(bytes) + u" " + language.lookup(u"byte");
  if (bytes < 1048576) return in_units(bytes, 1024, language.lookup(u"kbyte"));
  return in_units(bytes, 1048576, language.lookup(u"mbyte"));
}

double zoom_out_target(double zoom, double target, double starting_zoom) {
  double next = target - 1;
  if (zoom == 1.0 || zoom == 2.0) next = zoom - 1;
  return std::max(next, starting_zoom);
}

double zoom_in_target(double zoom) {
  return std::floor(zoom) + 1;
}

bool can_zoom_out(double zoom, double starting_zoom) {
  return zoom > starting_zoom;
}

bool can_zoom_in(double zoom, int top_level) {
  return zoom + 1 <= top_level;
}

std::vector<PictureProperty> picture_properties(std::u16string_view picture, Size resolution,
                                                const LanguageTable& language) {
  const std::u16string path = expand_path(picture);
  std::vector<PictureProperty> out;
  const size_t slash = path.find_last_of(u'/');
  add(out, language, u"Name", slash == std::u16string::npos ? path : path.substr(slash + 1));
  std::u16string folder = folder_of(path);
  if (folder.size() > 1 && folder.back() == u'/') folder.pop_back();
  add(out, language, u"Folder", folder);
  if (resolution.width > 0 && resolution.height > 0)
    add(out, language, u"Resolution",
        decimal_text(static_cast<uint64_t>(resolution.width)) + u"x" +
            decimal_text(static_cast<uint64_t>(resolution.height)));
  const FileInfo info = file_info(path);
  if (info.exists()) {
    add(out, language, u"Size", size_text(info.size, language));
    add(out, language, u"Date", from_utf8(platform::long_date(info.last_write)));
    add(out, language, u"Time", from_utf8(platform::short_time(info.last_write)));
  }
  return out;
}

std::u16string properties_text(const std::vector<PictureProperty>& properties) {
  std::u16string text;
  for (const PictureProperty& p : properties) text += p.label + u" : " + p.value + u"\n";
  return text;
}

}  // namespace lv
