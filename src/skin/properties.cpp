#include "skin/properties.h"

#include <algorithm>

#include "base/log.h"
#include "base/path_case.h"
#include "skin/properties_impl.h"

namespace lv {

using namespace skin_format;

Properties::Properties() : m_data(std::make_unique<PropertiesImpl>()) {}

Properties::~Properties() = default;

bool Properties::load_skin(std::u16string_view path, const ScreenInfo& screen) {
  log() << u"Properties::load_skin 1\n";
  const std::u16string file = resolve_path_case(path);
  auto fresh = std::make_unique<PropertiesImpl>(file, screen);
  log() << u"Properties::load_skin 2\n";
  if (!fresh->valid()) return false;
  log() << u"Properties::load_skin 3\n";
  m_data->swap(*fresh);
  m_path = file;
  // `fresh` now holds the previous skin: its pictures and fonts go here,
  // except where Picture and font references still share them.
  return true;
}

void Properties::send_reload_skin() {
  Stopwatch stopwatch;
  // A listener may add or remove listeners while it is told; work on a copy
  // and skip those removed meanwhile.
  const std::vector<ReloadListener*> listeners = m_listeners;
  for (ReloadListener* listener : listeners) {
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end()) continue;
    listener->reload_skin(*this);
  }
  log() << u"PropertiesImpl::send_reload_skin the rest time=" << stopwatch.elapsed() << u"\n";
}

void Properties::add_reload_listener(ReloadListener* listener) {
  if (listener == nullptr) return;
  if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end()) return;
  m_listeners.push_back(listener);
}

void Properties::remove_reload_listener(ReloadListener* listener) {
  std::erase(m_listeners, listener);
}

bool Properties::loaded() const {
  return m_data->valid();
}

int32_t Properties::scale() const {
  return m_data->scale();
}

const std::vector<Picture>& Properties::pictures() const {
  return m_data->pictures();
}

const std::vector<FontRef>& Properties::fonts() const {
  return m_data->fonts();
}

const std::vector<std::u16string>& Properties::strings() const {
  return m_data->strings();
}

const SkinNode* Properties::find_node(std::u16string_view name) const {
  return m_data->find_node(name);
}

namespace {

std::optional<uint32_t> find_record(const PropertiesImpl& data, const SkinNode* node, Section which,
                                    std::u16string_view key) {
  const std::optional<uint32_t> body = data.body_of(node);
  if (!body) return std::nullopt;
  const std::optional<SkinRecord> record = data.image().find_record(*body, which, key);
  if (!record) return std::nullopt;
  return record->offset;
}

int32_t scaled(int32_t value, int32_t scale) {
  return value * (int32_t{1} << scale);
}

}  // namespace

int32_t Properties::get_integer(const SkinNode* node, std::u16string_view key,
                                int32_t default_value) const {
  const auto at = find_record(*m_data, node, Section::integer, key);
  return at ? m_data->image().i32(*at + kValueOffset) : default_value;
}

Point Properties::get_point(const SkinNode* node, std::u16string_view key,
                            Point default_value) const {
  const auto at = find_record(*m_data, node, Section::point, key);
  if (!at) return default_value;
  const SkinImage image = m_data->image();
  return {scaled(image.i16(*at + kValueOffset), scale()),
          scaled(image.i16(*at + kPointYOffset), scale())};
}

Color Properties::get_color(const SkinNode* node, std::u16string_view key,
                            Color default_value) const {
  const auto at = find_record(*m_data, node, Section::color, key);
  if (!at) return default_value;
  const SkinImage image = m_data->image();
  return {image.u8(*at + kValueOffset), image.u8(*at + kValueOffset + 1),
          image.u8(*at + kValueOffset + 2), 255};
}

const std::u16string& Properties::get_string(const SkinNode* node, std::u16string_view key,
                                             const std::u16string& default_value) const {
  const auto at = find_record(*m_data, node, Section::string, key);
  if (!at) return default_value;
  const uint16_t index = m_data->image().u16(*at + kStringIndexOffset);
  const auto& table = m_data->strings();
  return index < table.size() ? table[index] : default_value;
}

const FontRef& Properties::get_font(const SkinNode* node, std::u16string_view key,
                                    const FontRef& default_value) const {
  const auto at = find_record(*m_data, node, Section::font, key);
  if (!at) return default_value;
  const int32_t index = m_data->image().i32(*at + kValueOffset);
  const auto& table = m_data->fonts();
  if (index < 0 || static_cast<size_t>(index) >= table.size()) return default_value;
  return table[static_cast<size_t>(index)];
}

Picture Properties::get_picture(const SkinNode* node, std::u16string_view key,
                                const Picture& default_value) const {
  const auto at = find_record(*m_data, node, Section::picture, key);
  if (!at) return default_value;
  const SkinImage image = m_data->image();
  const uint8_t index = image.u8(*at + kPictureIndexOffset);
  const auto& table = m_data->pictures();
  if (index >= table.size()) return default_value;
  Picture picture;
  Point* points[4] = {&picture.p0, &picture.p1, &picture.p2, &picture.p3};
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t field = *at + kPicturePointsOffset + 4 * i;
    *points[i] = {scaled(image.u16(field), scale()), scaled(image.u16(field + 2), scale())};
  }
  picture.bitmap = table[index].bitmap;
  picture.scale = scale();
  picture.flag = image.u8(*at + kPictureFlagOffset);
  return picture;
}

uint32_t Properties::value_count(const SkinNode* node, Section section) const {
  const std::optional<uint32_t> body = m_data->body_of(node);
  uint32_t first = 0;
  uint32_t count = 0;
  if (!body || !m_data->image().section(*body, section, first, count)) return 0;
  return count;
}

uint32_t Properties::child_count(const SkinNode* node) const {
  const std::optional<uint32_t> body = m_data->body_of(node);
  return body ? m_data->image().child_count(*body) : 0;
}

const SkinNode* Properties::child(const SkinNode* node, uint32_t index) const {
  const std::optional<uint32_t> body = m_data->body_of(node);
  if (!body) return nullptr;
  const std::optional<uint32_t> child = m_data->image().child(*body, index);
  return child ? m_data->node_at(*child) : nullptr;
}

}  // namespace lv
