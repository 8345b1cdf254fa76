#include "screens/about_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "base/settings.h"
#include "platform/text.h"
#include "screens/screens_test_support.h"
#include "skin/skin_exceptions.h"
#include "skin/surface.h"
#include "support/test_env.h"
#include "widgets/rich_text_element.h"
#include "widgets/text_element.h"

namespace lv::test::screens {
namespace {

// The build tree's default skin and languages: a panel over the screen
// below, closed by a tap anywhere or Backspace.
TEST(AboutScreen, APanelOverTheScreenClosedByATapAnywhereOrBackspace) {
  ScreenRig rig;
  Properties skin;
  ASSERT_TRUE(load_default_skin(skin, {480, 800}));
  std::vector<std::u16string> opened;
  AboutScreen about([&](const std::u16string& path) {
    opened.push_back(path);
    return true;
  });
  about.show(skin);
  ASSERT_EQ(rig.host().stack, std::vector<ScreenRoot*>{&about});
  // The runs of the box's rich text, "|" between them.
  auto& info = dynamic_cast<RichTextElement&>(about.find_required(u"info"));
  std::u16string runs;
  for (size_t i = 0; i < info.run_count(); ++i) runs += (i ? u"|" : u"") + info.run(i).text;
  EXPECT_EQ(runs, u"Version |" + std::u16string(program_version()) +
                      u"\n|Libraries |SDL2, libjpeg-turbo, FreeType, libpng\n|Open the help");
  // An overlay: the screen below stays around the panel.
  RenderSurface target;
  target.recreate(480, 800);
  target.surface()->fill(0x1234);
  about.draw_element(target, {0, 0});
  EXPECT_EQ(target.surface()->pixel(2, 2), 0x1234);

  // The release of the tap that chose "About", and a cancelled press, leave it.
  const auto pointer = [&](Point at, bool pressed, bool cancelled = false) {
    return about.on_pointer_button(PointerEvent{at.x, at.y, 0, 0, pressed, cancelled});
  };
  EXPECT_TRUE(pointer({240, 400}, false));
  pointer({3, 3}, true);
  pointer({0, 0}, false, true);
  pointer({3, 3}, false);
  EXPECT_TRUE(about.showing());

  // The link opens the help page and leaves the box up.
  ASSERT_EQ(info.piece_run(info.piece_count() - 1), 4u);
  const Rect link = info.piece(info.piece_count() - 1).rect();
  pointer({link.left + 2, link.top + 2}, true);
  pointer({link.left + 2, link.top + 2}, false);
  EXPECT_EQ(opened, std::vector<std::u16string>{expand_path(u"%app_path%/help/english.html")});
  EXPECT_TRUE(about.showing());
  pointer({3, 3}, true);
  pointer({5, 5}, false);
  EXPECT_TRUE(rig.host().stack.empty());
  EXPECT_EQ(opened.size(), 1u);

  // Shown again (twice) it is on the stack once; only a Backspace press
  // closes it.
  about.show(skin);
  about.show(skin);
  EXPECT_EQ(rig.host().stack, std::vector<ScreenRoot*>{&about});
  EXPECT_FALSE(about.on_key({kKeyEnter, true, true}) || about.on_key({kKeyBackspace, false, true}));
  EXPECT_TRUE(about.on_key({kKeyBackspace, true, true}));
  EXPECT_FALSE(about.showing());
  EXPECT_TRUE(rig.host().stack.empty());
  {
    AboutScreen gone;
    gone.show(skin);
  }
  EXPECT_TRUE(rig.host().stack.empty());  // never a destroyed screen on the stack

  // A skin without the box is refused and pushes nothing.
  TestSkin bare;
  ASSERT_TRUE(bare.load_nodes(R"({"Main": {}})"));
  EXPECT_THROW(about.show(bare.properties()), jobser::NodeNotFoundInSkin);
  EXPECT_TRUE(rig.host().stack.empty());
}

}  // namespace
}  // namespace lv::test::screens
