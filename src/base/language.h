#pragma once

// The language table: every text the user sees is looked up by key in the
// loaded language file ("%app_path%/<name>.lng", a key-value text file).
// Used from the user-interface thread.

#include <string>
#include <string_view>
#include <vector>

#include "base/key_value_file.h"

namespace lv {

class LanguageTable {
 public:
  // Reads the file (macros expanded, its name matched ignoring case). Only
  // on success do its texts replace the table's and its path become path();
  // on failure the table and path stay as they were.
  bool load(std::u16string_view path);

  // The text of the key, or the key itself when the table has none.
  std::u16string lookup(std::u16string_view key) const;

  // The file the table was loaded from, as found on disk; "" before the
  // first successful load.
  const std::u16string& path() const { return m_path; }

  const KeyValueMap& texts() const { return m_texts; }

 private:
  KeyValueMap m_texts;
  std::u16string m_path;
};

// The language file of a name in a folder: folder + "/" + name + ".lng".
std::u16string language_file_path(std::u16string_view folder, std::u16string_view name);

// A language file's name without folder and extension ("russian").
std::u16string language_name_of(std::u16string_view path);

// Loads the language at start, trying in turn: the remembered Language
// setting (under the application's settings key), the user's language
// (system_language.h), "english", then every "*.lng" of the folder in search
// order. False, with the table untouched, when none loads.
bool load_language_at_start(LanguageTable& table, std::u16string_view app_name,
                            std::u16string_view language_folder);
// The same with the program's folder (app_path()).
bool load_language_at_start(LanguageTable& table, std::u16string_view app_name);

// The "*.lng" files of the folder, sorted by path.
std::vector<std::u16string> list_language_files(std::u16string_view language_folder);
std::vector<std::u16string> list_language_files();

// Whether the folder holds more than one "*.lng" file.
bool has_several_languages(std::u16string_view language_folder);
bool has_several_languages();

}  // namespace lv
