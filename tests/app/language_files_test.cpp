// The language files that ship with the program, as the build lays them out
// beside it: each holds exactly the keys of english.lng (none missing, none
// extra), so a text added to the program cannot be forgotten in one of them;
// each is UTF-16LE with its mark and CRLF line ends, names a help page that
// the build lays out too, and names every shipped skin for the skin menu.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/language.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

std::set<std::u16string> keys_of(const LanguageTable& table) {
  std::set<std::u16string> keys;
  for (const auto& [key, text] : table.texts()) keys.insert(key);
  return keys;
}

TEST(LanguageFiles, EachHasExactlyTheEnglishKeysAndIsLaidOutBesideTheProgram) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(test::source_path("lang")))
    if (entry.path().extension() == ".lng") names.push_back(entry.path().filename().string());
  ASSERT_GE(names.size(), 3u) << "english, german and russian at least";

  LanguageTable english;
  ASSERT_TRUE(english.load(from_utf8(test::binary_path("english.lng"))));
  const std::set<std::u16string> wanted = keys_of(english);

  std::vector<std::u16string> skin_keys;
  for (const auto& entry : fs::directory_iterator(test::source_path("skins")))
    if (fs::exists(entry.path() / "skin.json"))
      skin_keys.push_back(u"Skin#" + from_utf8(entry.path().filename().string()));
  ASSERT_GE(skin_keys.size(), 2u);

  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    // The build's copy is the shipped file, byte for byte.
    const std::string bytes = test::read_file(test::source_path("lang/" + name));
    EXPECT_EQ(test::read_file(test::binary_path(name)), bytes) << "not laid out by the build";
    EXPECT_TRUE(bytes.starts_with("\xFF\xFE")) << "no UTF-16LE mark";
    ASSERT_EQ(bytes.size() % 2, 0u);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] != '\n' || bytes[i + 1] != 0) continue;
      EXPECT_TRUE(i >= 4 && bytes[i - 2] == '\r' && bytes[i - 1] == 0)
          << "a line ends without CR at byte " << i;
    }

    LanguageTable table;
    ASSERT_TRUE(table.load(from_utf8(test::binary_path(name))));
    const std::set<std::u16string> keys = keys_of(table);
    EXPECT_EQ(keys, wanted) << "not the keys of english.lng";
    for (const auto& [key, text] : table.texts())
      EXPECT_FALSE(text.empty()) << to_utf8(key) << " is empty";

    const std::u16string help = table.lookup(u"Help_link");
    EXPECT_TRUE(fs::is_regular_file(test::binary_path(to_utf8(help)))) << to_utf8(help);
    for (const std::u16string& skin : skin_keys)
      EXPECT_TRUE(keys.count(skin)) << to_utf8(skin) << " has no name";
  }
}

}  // namespace
}  // namespace lv
