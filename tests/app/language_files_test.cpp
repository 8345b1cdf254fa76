// The language files that ship with the program, as the build lays them out
// beside it: each holds exactly the keys of english.lng (none missing, none
// extra, none empty), so a text added to the program cannot be forgotten in
// one of them; each is UTF-16LE with its mark and CRLF line ends, names a
// help page that the build lays out too, and names every shipped skin for
// the skin menu.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/language.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

TEST(LanguageFiles, EachHasExactlyTheEnglishKeysAndIsLaidOutBesideTheProgram) {
  auto keys_of = [](const std::string& name) {
    LanguageTable table;
    EXPECT_TRUE(table.load(from_utf8(test::binary_path(name))));
    std::set<std::u16string> keys;
    for (const auto& [key, text] : table.texts()) keys.insert(text.empty() ? u"" : key);
    return std::pair{keys, table.lookup(u"Help_link")};
  };
  const std::set<std::u16string> wanted = keys_of("english.lng").first;
  std::vector<std::u16string> skin_keys;
  for (const auto& entry : fs::directory_iterator(test::source_path("skins")))
    if (fs::exists(entry.path() / "skin.json"))
      skin_keys.push_back(u"Skin#" + from_utf8(entry.path().filename().string()));
  ASSERT_GE(skin_keys.size(), 2u);

  int languages = 0;
  for (const auto& entry : fs::directory_iterator(test::source_path("lang"))) {
    if (entry.path().extension() != ".lng") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++languages;
    // The build's copy is the shipped file, byte for byte.
    const std::string bytes = test::read_file(entry.path().string());
    EXPECT_EQ(test::read_file(test::binary_path(name)), bytes) << "not laid out by the build";
    EXPECT_TRUE(bytes.starts_with("\xFF\xFE") && bytes.size() % 2 == 0) << "not UTF-16LE";
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      ASSERT_FALSE(bytes[i] == '\n' && bytes[i + 1] == 0 && bytes[i - 2] != '\r')
          << "a line without CR at " << i;
    const auto [keys, help] = keys_of(name);
    EXPECT_EQ(keys, wanted) << "not the keys of english.lng, or an empty text";
    EXPECT_TRUE(fs::is_regular_file(test::binary_path(to_utf8(help)))) << to_utf8(help);
    for (const std::u16string& skin : skin_keys)
      EXPECT_TRUE(keys.count(skin)) << to_utf8(skin) << " has no name";
  }
  EXPECT_GE(languages, 3) << "english, german and russian at least";
}

}  // namespace
}  // namespace lv
