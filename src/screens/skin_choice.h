#pragma once

// Which skin and which language the program shows: the candidates tried at
// start, the "Language" and "Skin" menus, and the user's choice from them,
// remembered as the settings Language and Skin under the application's key.
// Skins are "<base>/skins/bin/<name>.skin", languages "<base>/<name>.lng".
// A skin named "splash" (any letter case) belongs to the splash screen and
// is never listed, counted or chosen. Used from the user-interface thread.

#include <string>
#include <string_view>
#include <vector>

#include "skin/screen_info.h"
#include "widgets/menu_item.h"

namespace lv {

class LanguageTable;
class Properties;

class SkinChoice {
 public:
  // base_folder: the program folder; empty means "%app_path%".
  SkinChoice(LanguageTable& language, Properties& skin, std::u16string app_name,
             std::u16string base_folder);

  // The remembered language, the user's own, "english", then every language
  // file in search order; false, with nothing loaded, when none loads.
  bool load_language_at_start();
  // The remembered skin, "default", then every skin file in search order,
  // each for the screen; false, with nothing loaded, when none loads.
  bool load_skin_at_start(const ScreenInfo& screen);

  bool has_several_languages() const;
  bool has_several_skins() const;

  // The files by full path, each as "Language#<name>" with the name as its
  // text (or "Skin#<name>" with an empty text, which the row shows as the
  // language text of the id), the loaded one checked, then "Cancel" in the
  // given style.
  void fill_language_menu(std::vector<MenuItem>& items, std::u16string_view cancel_style) const;
  void fill_skin_menu(std::vector<MenuItem>& items, std::u16string_view cancel_style) const;

  // An item id of either menu. True when it loaded another language or skin,
  // which is then announced through the skin's reload notification (the
  // screens rebuild; a skin they cannot use throws its fault from there).
  // The current one, a file that does not load and any other id answer
  // false and change nothing. Nothing is remembered: see remember_current.
  bool choose(std::u16string_view item_id, const ScreenInfo& screen);
  // Remembers the skin in use (for a "Skin#" id) or the language in use, for
  // the next start: once the screens were rebuilt from it.
  void remember_current(std::u16string_view item_id) const;
  // The skins the start tries, in its order, as "Skin#" ids: the remembered
  // one, "default", then every skin file; each name once.
  std::vector<std::u16string> skin_candidates() const;
  // The item id of the skin in use for a "Skin#" id, else of the language
  // in use: what to choose to go back.
  std::u16string current_item(std::u16string_view item_id) const;

  std::u16string language_folder() const { return m_base; }
  std::u16string skin_folder() const;

 private:
  bool choose_language(std::u16string_view name);
  bool choose_skin(std::u16string_view name, const ScreenInfo& screen);
  std::u16string remembered(std::u16string_view value_name) const;
  void remember(std::u16string_view value_name, std::u16string_view name) const;

  LanguageTable& m_language;
  Properties& m_skin;
  std::u16string m_app_name;
  std::u16string m_base;
};

// The skin files of a skin folder in search order, the splash skin left out.
std::vector<std::u16string> list_skin_files(std::u16string_view skin_folder);

}  // namespace lv
