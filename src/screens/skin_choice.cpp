#include "screens/skin_choice.h"

#include <algorithm>
#include <utility>

#include "base/file_search.h"
#include "base/language.h"
#include "base/log.h"
#include "base/path_case.h"
#include "base/settings.h"
#include "skin/properties.h"

namespace lv {

namespace {

constexpr std::u16string_view kSkinExtension = u".skin";
constexpr std::u16string_view kLanguagePrefix = u"Language#";
constexpr std::u16string_view kSkinPrefix = u"Skin#";

bool is_splash(std::u16string_view name) {
  return to_lower(name) == u"splash";
}

bool same_name(std::u16string_view a, std::u16string_view b) {
  return to_upper(a) == to_upper(b);
}

std::u16string skin_name_of(std::u16string_view path) {
  return file_name_without_extension(path, kSkinExtension);
}

std::u16string skin_file_path(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += u'/';
  path += name;
  path += kSkinExtension;
  return path;
}

// The splash skin belongs to the splash screen: never listed or chosen.
std::vector<std::u16string> search_skin_files(std::u16string_view folder, size_t limit) {
  return list_folder_files(folder, u"*.skin", limit, [](const std::u16string& path) {
    return !is_splash(skin_name_of(path));
  });
}

MenuItem cancel_item(std::u16string_view style) {
  MenuItem item;
  item.key = u"Cancel";
  item.style = std::u16string(style);
  return item;
}

}  // namespace

std::vector<std::u16string> list_skin_files(std::u16string_view skin_folder) {
  return search_skin_files(skin_folder, SIZE_MAX);
}

SkinChoice::SkinChoice(LanguageTable& language, Properties& skin, std::u16string app_name,
                       std::u16string base_folder)
    : m_language(language),
      m_skin(skin),
      m_app_name(std::move(app_name)),
      m_base(expand_path(base_folder.empty() ? std::u16string_view(u"%app_path%") : base_folder)) {
  while (m_base.size() > 1 && m_base.back() == u'/') m_base.pop_back();
}

std::u16string SkinChoice::skin_folder() const {
  return m_base + u"/skins/bin";
}

std::u16string SkinChoice::remembered(std::u16string_view value_name) const {
  std::u16string key(kKaruKey);
  key += u'\\';
  key += m_app_name;
  std::u16string value;
  get_string(key, value_name, value);
  return value;
}

void SkinChoice::remember(std::u16string_view value_name, std::u16string_view name) const {
  std::u16string key(kKaruKey);
  key += u'\\';
  key += m_app_name;
  if (!set_string(key, value_name, name))
    log() << u"SkinChoice::remember failed " << value_name << u"=" << name << u"\n";
}

bool SkinChoice::load_language_at_start() {
  if (!lv::load_language_at_start(m_language, m_app_name, m_base)) return false;
  log() << u"SkinChoice::load_language_at_start language=" << m_language.path() << u"\n";
  return true;
}

std::vector<std::u16string> SkinChoice::skin_candidates() const {
  std::vector<std::u16string> names;
  auto add = [&](const std::u16string& name) {
    if (!is_plain_file_name(name) || is_splash(name)) return;
    for (const std::u16string& earlier : names)
      if (same_name(earlier, name)) return;
    names.push_back(name);
  };
  add(remembered(u"Skin"));
  add(u"default");
  for (const std::u16string& path : search_skin_files(skin_folder(), SIZE_MAX))
    add(skin_name_of(path));
  for (std::u16string& name : names) name.insert(0, kSkinPrefix);
  return names;
}

bool SkinChoice::load_skin_at_start(const ScreenInfo& screen) {
  const std::u16string folder = skin_folder();
  for (const std::u16string& id : skin_candidates()) {
    const std::u16string_view name = std::u16string_view(id).substr(kSkinPrefix.size());
    if (!m_skin.load_skin(skin_file_path(folder, name), screen)) continue;
    log() << u"SkinChoice::load_skin_at_start skin=" << m_skin.path() << u"\n";
    return true;
  }
  log() << u"SkinChoice::load_skin_at_start no skin in " << folder << u"\n";
  return false;
}

bool SkinChoice::has_several_languages() const {
  return lv::has_several_languages(m_base);
}

bool SkinChoice::has_several_skins() const {
  return search_skin_files(skin_folder(), 2).size() > 1;
}

void SkinChoice::fill_language_menu(std::vector<MenuItem>& items,
                                    std::u16string_view cancel_style) const {
  const std::u16string current = language_name_of(m_language.path());
  for (const std::u16string& path : list_language_files(m_base)) {
    MenuItem item;
    item.text = language_name_of(path);
    item.key = std::u16string(kLanguagePrefix) + item.text;
    item.checked = !m_language.path().empty() && same_name(item.text, current);
    items.push_back(std::move(item));
  }
  items.push_back(cancel_item(cancel_style));
}

void SkinChoice::fill_skin_menu(std::vector<MenuItem>& items,
                                std::u16string_view cancel_style) const {
  const std::u16string current = skin_name_of(m_skin.path());
  std::vector<std::u16string> files = search_skin_files(skin_folder(), SIZE_MAX);
  std::sort(files.begin(), files.end());
  for (const std::u16string& path : files) {
    const std::u16string name = skin_name_of(path);
    MenuItem item;
    item.key = std::u16string(kSkinPrefix) + name;
    item.checked = !m_skin.path().empty() && same_name(name, current);
    items.push_back(std::move(item));
  }
  items.push_back(cancel_item(cancel_style));
}

std::u16string SkinChoice::current_item(std::u16string_view item_id) const {
  if (starts_with(item_id, kSkinPrefix))
    return std::u16string(kSkinPrefix) + skin_name_of(m_skin.path());
  return std::u16string(kLanguagePrefix) + language_name_of(m_language.path());
}

bool SkinChoice::choose(std::u16string_view item_id, const ScreenInfo& screen) {
  if (starts_with(item_id, kLanguagePrefix))
    return choose_language(item_id.substr(kLanguagePrefix.size()));
  if (starts_with(item_id, kSkinPrefix))
    return choose_skin(item_id.substr(kSkinPrefix.size()), screen);
  return false;
}

void SkinChoice::remember_current(std::u16string_view item_id) const {
  if (starts_with(item_id, kSkinPrefix)) {
    if (!m_skin.path().empty()) remember(u"Skin", skin_name_of(m_skin.path()));
  } else if (starts_with(item_id, kLanguagePrefix)) {
    if (!m_language.path().empty()) remember(u"Language", language_name_of(m_language.path()));
  }
}

bool SkinChoice::choose_language(std::u16string_view name) {
  if (!is_plain_file_name(name)) return false;
  if (!m_language.path().empty() && same_name(name, language_name_of(m_language.path())))
    return false;
  if (!m_language.load(language_file_path(m_base, name))) return false;
  log() << u"SkinChoice::choose language=" << m_language.path() << u"\n";
  m_skin.send_reload_skin();
  return true;
}

bool SkinChoice::choose_skin(std::u16string_view name, const ScreenInfo& screen) {
  if (!is_plain_file_name(name) || is_splash(name)) return false;
  if (!m_skin.path().empty() && same_name(name, skin_name_of(m_skin.path()))) return false;
  if (!m_skin.load_skin(skin_file_path(skin_folder(), name), screen)) return false;
  log() << u"SkinChoice::choose skin=" << m_skin.path() << u"\n";
  m_skin.send_reload_skin();
  return true;
}

}  // namespace lv
