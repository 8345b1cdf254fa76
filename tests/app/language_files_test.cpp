// The language files that ship with the program, as the build lays them out
// beside it: each holds exactly the keys of english.lng (none missing, none
// extra, none empty), so a text added to the program cannot be forgotten in
// one of them; each names a help page that the build lays out too, and
// every shipped skin for the skin menu.

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
    EXPECT_TRUE(table.load(from_utf8(test::binary_path(name)))) << name;
    std::set<std::u16string> keys;
    for (const auto& [key, text] : table.texts()) keys.insert(text.empty() ? u"" : key);
    return std::pair{keys, table.lookup(u"Help_link")};
  };
  const std::set<std::u16string> wanted = keys_of("english.lng").first;
  int languages = 0;
  for (const auto& entry : fs::directory_iterator(test::source_path("lang"))) {
    if (entry.path().extension() != ".lng") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++languages;
    const auto [keys, help] = keys_of(name);
    EXPECT_EQ(keys, wanted) << "not the keys of english.lng, or an empty text";
    EXPECT_TRUE(fs::is_regular_file(test::binary_path(to_utf8(help)))) << to_utf8(help);
    for (const auto& skin : fs::directory_iterator(test::source_path("skins")))
      EXPECT_TRUE(!fs::exists(skin.path() / "skin.json") ||
                  keys.count(u"Skin#" + from_utf8(skin.path().filename().string())))
          << skin.path() << " has no name";
  }
  EXPECT_GE(languages, 3) << "english, german and russian at least";
}

}  // namespace
}  // namespace lv
