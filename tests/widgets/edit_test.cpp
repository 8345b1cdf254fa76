// Edit fields: when an "edit" asks the host for the edit box and when it
// lets it go, what it reports to its listener, and the placeholder and
// clear button of a "label_edit".

#include <gtest/gtest.h>

#include "platform/text.h"
#include "widgets/edit_element.h"
#include "widgets/label_edit_element.h"
#include "widgets/widget_test_support.h"

namespace lv {
namespace {

using test::TestScreen;
using test::TestSkin;

struct Changes : EditListener {
  void text_changed(EditElement& edit) override { texts.push_back(edit.text()); }
  std::vector<std::u16string> texts;
};

// A bare field "name" at (10, 10) 100 x 20 in a box "holder", and a
// "label_edit" "filter" at the bottom: the field, its placeholder and a
// clear button at its right end.
constexpr const char* kFields = R"({"Main": {"children": [
  {"string": {"type": "node", "id": "holder", "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
   "point": {"design_size": [200, 40]}, "children": [
     {"string": {"type": "edit", "id": "name", "text": "one\r\ntwo",
                 "anchor_x": "MIN_SIDE", "anchor_y": "MIN_SIDE"},
      "color": {"background_color": "#102030"},
      "point": {"border_min": [10, 10], "design_size": [100, 20]}}]},
  {"string": {"type": "label_edit", "id": "filter", "text": "Hint", "anchor_y": "MAX_SIDE"},
   "point": {"design_size": [0, 30]}, "children": [
     {"string": {"type": "text", "id": "#text"}, "point": {"border_max": [30, 0]}},
     {"string": {"type": "edit", "id": "#edit"}, "point": {"border_max": [30, 0]}},
     {"string": {"type": "button", "id": "clear", "anchor_x": "MAX_SIDE"},
      "point": {"design_size": [30, 0]}}]}
]}})";

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    skin.language("Hint=Search here\n");
    ASSERT_TRUE(skin.load_nodes(kFields));
    screen = std::make_unique<TestScreen>(skin, u"Main", Size{240, 100});
    screen->layout();
    name = &screen->find<EditElement>(u"name");
    name->set_listener(&changes);
    filter = &screen->find<LabelEditElement>(u"filter");
  }
  // The field the host edits ("name", "#edit" or "none") and how often a
  // field asked it to show or end the edit box.
  std::string editing() {
    Element* edited = screen->host().edited;
    return (edited ? platform::to_utf8(edited->id()) : "none") + " " +
           std::to_string(screen->host().edit_calls);
  }
  void tap_middle(const Element& field) {
    screen->tap((field.rect().left + field.rect().right) / 2, field.rect().top + 5);
  }

  TestSkin skin;
  std::unique_ptr<TestScreen> screen;
  EditElement* name = nullptr;
  LabelEditElement* filter = nullptr;
  Changes changes;
};

TEST_F(EditTest, APressStartsTheEditingOnceAndTheBoxFollowsTheField) {
  EXPECT_EQ(name->text(), u"one\ntwo");  // one form of line ends from the start
  screen->tap(50, 20);
  screen->tap(60, 20);  // tapping the edited field again restarts nothing
  screen->layout();     // and an unchanged layout moves no box
  EXPECT_EQ(editing(), "name 1");
  // Laid out somewhere else, the field asks again, so the box follows.
  screen->find(u"holder").set_borders({0, 30}, {});
  screen->layout();
  EXPECT_EQ(name->rect(), (Rect{10, 40, 110, 60}));
  EXPECT_EQ(editing(), "name 2");
  // A press on another field moves the editing there.
  tap_middle(*filter->edit());
  EXPECT_EQ(editing(), "#edit 3");
  EXPECT_FALSE(name->edited());
}

// Once a use-after-free: the host kept a field that was gone.
TEST_F(EditTest, HidingOrDestroyingTheEditedFieldEndsTheEditing) {
  screen->tap(50, 20);
  screen->find(u"holder").set_visible(false);
  EXPECT_EQ(editing(), "none 2");
  screen->find(u"holder").set_visible(true);
  // Hiding a field nobody edits leaves the editing of another alone.
  screen->tap(50, 20);
  filter->edit()->set_visible(false);
  std::unique_ptr<Element> gone = screen->find(u"holder").take_child(*name);
  EXPECT_EQ(editing(), "name 3");
  gone.reset();
  EXPECT_EQ(editing(), "none 4");
}

TEST_F(EditTest, EveryChangeIsToldOnceAndTheBoxOfTheEditedFieldTakesIt) {
  name->set_text(u"one\r\ntwo");  // the box's line ends are the field's
  name->set_text(u"one\rtwo");
  name->set_text(u"three");
  EXPECT_EQ(editing(), "none 0") << "a field nobody edits asks for no box";
  screen->tap(50, 20);
  name->set_text(u"four");
  EXPECT_EQ(editing(), "name 2");
  // A character typed into the edited field: measured again, and told.
  screen->layout();
  EXPECT_TRUE(name->on_char(u"x"));
  EXPECT_TRUE(name->needs_layout());
  screen->host().edited = nullptr;
  EXPECT_TRUE(name->on_char(u"y"));
  EXPECT_EQ(changes.texts, (std::vector<std::u16string>{u"three", u"four", u"four"}));
  EXPECT_EQ(with_newline_ends(u"a\r\nb\rc\nd\r\r\n"), u"a\nb\nc\nd\n\n");
}

TEST_F(EditTest, ThePlaceholderShowsWhileTheFieldIsEmptyAndTheClearButtonWhileItIsNot) {
  Changes owner;
  filter->set_listener(&owner);
  const auto looks = [&] {
    return std::pair{filter->label()->visible(), filter->clear_button()->visible()};
  };
  EXPECT_EQ(filter->label()->text(), u"Search here");
  EXPECT_EQ(looks(), std::pair(true, false));
  filter->edit()->set_text(u"a");
  EXPECT_EQ(looks(), std::pair(false, true));
  screen->layout();
  tap_middle(*filter->clear_button());
  EXPECT_EQ(filter->edit()->text(), u"");
  EXPECT_EQ(looks(), std::pair(true, false));
  EXPECT_EQ(owner.texts, (std::vector<std::u16string>{u"a", u""}));
}

}  // namespace
}  // namespace lv
