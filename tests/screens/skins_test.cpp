// The choice among the skins and languages a program folder holds: what
// a start picks, what the menus list and what choosing changes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/settings.h"
#include "platform/text.h"
#include "screens/screens_test_support.h"
#include "screens/skin_choice.h"
#include "skinc/skin_compiler.h"
#include "support/scoped_env.h"
#include "support/test_env.h"

namespace lv::test::screens {
namespace {

// --- Choosing a skin and a language ------------------------------------------------

class CountingListener : public ReloadListener {
 public:
  void reload_skin(Properties&) override { ++calls; }
  int calls = 0;
};

// A temporary program folder with "<name>.lng" files that say "Which" they
// are and one-node skins in skins/bin. Each test keeps its settings under an
// application name of its own.
class SkinChoiceTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) m_env.unset(name);
    std::filesystem::create_directories(m_base + "/skins/bin");
    m_skin.add_reload_listener(&m_listener);
  }
  void TearDown() override { m_skin.remove_reload_listener(&m_listener); }

  void languages(std::initializer_list<const char*> names) {
    for (const char* name : names)
      test::write_file(m_base + "/" + name + ".lng", "Which=" + std::string(name) + "\n");
  }
  void skins(std::initializer_list<const char*> names) {
    for (const std::string name : names) {
      const std::string source = m_base + "/" + name + ".json";
      test::write_file(source, R"({"nodes": {"Main": {"string": {"id": "main"}}}})");
      skinc::CompiledSkin compiled;
      std::string error;
      ASSERT_TRUE(skinc::compile_skin(source, name, compiled, error) &&
                  skinc::write_compiled_skin(compiled, m_base + "/skins/bin", error))
          << error;
    }
  }
  std::u16string file(const std::string& relative) const { return from_utf8(m_base + relative); }
  std::u16string skin_file(const std::string& name) const {
    return file("/skins/bin/" + name + ".skin");
  }

  std::u16string key() const {
    return std::u16string(kKaruKey) + u"\\SkinChoice_" +
           from_utf8(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void remember(std::u16string_view name, std::u16string_view value) {
    ASSERT_TRUE(set_string(key(), name, value));
  }
  // The remembered skin and language, "<unset>" for none.
  std::u16string remembered() const {
    std::u16string skin = u"<unset>", language = u"<unset>";
    get_string(key(), u"Skin", skin);
    get_string(key(), u"Language", language);
    return skin + u" " + language;
  }
  SkinChoice choice(Properties& skin) {
    return SkinChoice(skin.language(), skin, key().substr(kKaruKey.size() + 1), file(""));
  }
  // What a new start picks.
  std::u16string started_language() {
    Properties fresh;
    EXPECT_TRUE(choice(fresh).load_language_at_start());
    return fresh.language().lookup(u"Which");
  }
  std::u16string started_skin() {
    Properties fresh;
    return choice(fresh).load_skin_at_start(m_screen) ? fresh.path() : u"<none>";
  }
  static std::u16string summary(const std::vector<MenuItem>& items) {
    std::u16string out;
    for (const MenuItem& item : items)
      out += item.key + (item.checked ? u"[x]" : u"") + u":" + item.text + u":" + item.style + u" ";
    return out;
  }

  test::ScopedEnv m_env;
  std::string m_base = test::make_temp_dir("program");
  Properties m_skin;
  CountingListener m_listener;
  ScreenInfo m_screen{480, 800, 0, 0, 480, 800, 0, 96};
};

TEST_F(SkinChoiceTest, LanguageRememberedThenTheUserLanguageThenEnglishThenAnyFile) {
  languages({"english"});
  EXPECT_FALSE(choice(m_skin).has_several_languages());
  languages({"aaa", "german", "russian"});
  test::write_file(m_base + "/skins/evil.lng", "Which=evil\n");
  EXPECT_TRUE(choice(m_skin).has_several_languages());

  m_env.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(started_language(), u"german");  // GERMAN, found as german.lng, before english
  remember(u"Language", u"russian");
  EXPECT_EQ(started_language(), u"russian");
  for (std::u16string_view unsafe : {u"skins/evil", u"skins\\evil", u"..", u".", u"missing"}) {
    remember(u"Language", unsafe);
    EXPECT_EQ(started_language(), u"german") << to_utf8(std::u16string(unsafe));
  }
  m_env.set("LANG", "C");
  EXPECT_EQ(started_language(), u"english");
  std::filesystem::remove(m_base + "/english.lng");
  EXPECT_EQ(started_language(), u"aaa");  // the first the search finds
}

TEST_F(SkinChoiceTest, SkinRememberedThenDefaultThenAnyButSplash) {
  skins({"default", "SPLASH"});
  EXPECT_FALSE(choice(m_skin).has_several_skins());
  skins({"ocean"});
  test::write_file(m_base + "/skins/bin/bad.skin", "not a skin");
  EXPECT_TRUE(choice(m_skin).has_several_skins());
  EXPECT_EQ(
      list_skin_files(file("/skins/bin")),
      (std::vector<std::u16string>{skin_file("bad"), skin_file("default"), skin_file("ocean")}));

  EXPECT_EQ(started_skin(), skin_file("default"));
  remember(u"Skin", u"OCEAN");  // names match ignoring case
  EXPECT_EQ(started_skin(), skin_file("ocean"));
  for (std::u16string_view unsafe : {u"splash", u"..", u"../bin/ocean", u"bad"}) {
    remember(u"Skin", unsafe);
    EXPECT_EQ(started_skin(), skin_file("default")) << to_utf8(std::u16string(unsafe));
  }
  // Without "default" the search passes SPLASH and the broken skin.
  std::filesystem::remove(to_utf8(skin_file("default")));
  EXPECT_EQ(started_skin(), skin_file("ocean"));
  std::filesystem::remove(to_utf8(skin_file("ocean")));
  EXPECT_EQ(started_skin(), u"<none>");
}

TEST_F(SkinChoiceTest, ChoosingLoadsAndTellsTheListenersOnlyOnAChangeAndRemembersWhenAsked) {
  languages({"english", "russian"});
  skins({"default", "ocean", "splash"});
  test::write_file(m_base + "/skins/bin/broken.skin", "not a skin");
  SkinChoice menu = choice(m_skin);
  ASSERT_TRUE(menu.load_language_at_start() && menu.load_skin_at_start(m_screen));

  // The current ones change nothing; each change is told once.
  EXPECT_FALSE(menu.choose(u"Skin#DEFAULT", m_screen) ||
               menu.choose(u"Language#English", m_screen));
  ASSERT_TRUE(menu.choose(u"Skin#ocean", m_screen) && menu.choose(u"Language#russian", m_screen));
  EXPECT_EQ(m_listener.calls, 2);
  // Remembered only when the caller says the screens took it.
  EXPECT_EQ(remembered(), u"<unset> <unset>");
  menu.remember_current(u"Skin#anything");
  menu.remember_current(u"Language#anything");
  EXPECT_EQ(remembered(), u"ocean russian");

  for (std::u16string_view id :
       {u"Skin#broken", u"Skin#missing", u"Skin#splash", u"Skin#../bin/default", u"Skin#",
        u"Skin#..", u"Language#missing", u"Language#skins/bin/x", u"Language#", u"Skin", u"Exit"})
    EXPECT_FALSE(menu.choose(id, m_screen)) << to_utf8(std::u16string(id));
  EXPECT_EQ(m_skin.path() + u" " + m_skin.language().path(),
            skin_file("ocean") + u" " + file("/russian.lng"));
  EXPECT_EQ(remembered(), u"ocean russian");
  EXPECT_EQ(m_listener.calls, 2);
  // What the next start picks.
  EXPECT_EQ(started_skin() + u" " + started_language(), skin_file("ocean") + u" russian");
}

}  // namespace
}  // namespace lv::test::screens
