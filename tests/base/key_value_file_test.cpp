#include "app/base/key_value_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

KeyValueMap parse(std::u16string_view text) {
  KeyValueMap map;
  parse_key_value_text(text, map);
  return map;
}

std::string utf16le_with_mark(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST(KeyValueFileTest, EqualsAndBlankSeparatorsGiveTheSameValue) {
  const KeyValueMap map = parse(u"a=word\nb   word\nc= word\nd\tword\ne \t word");
  EXPECT_EQ(map.at(u"a"), u"word");
  EXPECT_EQ(map.at(u"b"), u"word");
  EXPECT_EQ(map.at(u"c"), u" word");  // a blank right after '=' belongs to the value
  EXPECT_EQ(map.at(u"d"), u"word");
  EXPECT_EQ(map.at(u"e"), u"word");
  EXPECT_EQ(map.size(), 5u);
}

TEST(KeyValueFileTest, LineSyntax) {
  const KeyValueMap map = parse(
      u"   indented=yes\n"
      u"\t\ttabbed value with  inner  blanks  \n"
      u"=no key\n"
      u"   \n"
      u"\n"
      u"bare\n"
      u"empty=\n"
      u"spaced = x\n"
      u"eq=a=b\n"
      u"#hash comment\n"
      u"dup=first\n"
      u"dup=second\n");
  EXPECT_EQ(map.at(u"indented"), u"yes");
  // The value runs to the end of the line, trailing blanks included.
  EXPECT_EQ(map.at(u"tabbed"), u"value with  inner  blanks  ");
  EXPECT_EQ(map.at(u"bare"), u"");
  EXPECT_EQ(map.at(u"empty"), u"");
  // After a blank separator everything else is the value, '=' included.
  EXPECT_EQ(map.at(u"spaced"), u"= x");
  EXPECT_EQ(map.at(u"eq"), u"a=b");
  // No comment syntax: '#' starts an ordinary key.
  EXPECT_EQ(map.at(u"#hash"), u"comment");
  EXPECT_EQ(map.at(u"dup"), u"second");
  EXPECT_EQ(map.size(), 8u);
  EXPECT_FALSE(map.contains(u""));
}

TEST(KeyValueFileTest, CarriageReturnAndLineFeedBothEndLines) {
  const KeyValueMap map = parse(u"a=1\r\nb=2\rc=3\nd=4\r\r\n\ne=5");
  ASSERT_EQ(map.size(), 5u);
  EXPECT_EQ(map.at(u"a"), u"1");
  EXPECT_EQ(map.at(u"b"), u"2");
  EXPECT_EQ(map.at(u"c"), u"3");
  EXPECT_EQ(map.at(u"d"), u"4");
  EXPECT_EQ(map.at(u"e"), u"5");
}

TEST(KeyValueFileTest, ParsingAddsToAndReplacesInTheGivenMap) {
  KeyValueMap map{{u"keep", u"old"}, {u"change", u"old"}};
  parse_key_value_text(u"change=new", map);
  EXPECT_EQ(map.at(u"keep"), u"old");
  EXPECT_EQ(map.at(u"change"), u"new");
}

TEST(KeyValueFileTest, KeysAreOrderedByCodeUnits) {
  const KeyValueMap map = parse(u"b=1\nB=2\na=3\n\u00e9=4\nab=5\n\u044f=6");
  std::u16string order;
  for (const auto& [key, value] : map) order += value;
  // 'B' (0x42) < 'a' < "ab" < 'b' < U+00E9 < U+044F; a shorter prefix first.
  EXPECT_EQ(order, u"235146");
}

TEST(KeyValueFileTest, EightBitBytesWidenAsLatin1) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  const std::u16string text = decode_key_value_bytes(bytes);
  ASSERT_EQ(text.size(), 256u);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(text[b], static_cast<char16_t>(b)) << "byte " << b;

  const KeyValueMap map = parse(decode_key_value_bytes("caf\xE9=\xFF\x80"));
  EXPECT_EQ(map.at(u"caf\u00e9"), u"\u00ff\u0080");
}

TEST(KeyValueFileTest, MarkedTextIsUtf16LittleEndian) {
  const std::u16string text = u"k=\u041f\u0440\u0438\U0001F600";
  EXPECT_EQ(decode_key_value_bytes(utf16le_with_mark(text)), text);
  // An odd last byte is no code unit.
  EXPECT_EQ(decode_key_value_bytes(utf16le_with_mark(u"ab") + "c"), u"ab");
  EXPECT_EQ(decode_key_value_bytes("\xFF\xFE"), u"");
  EXPECT_EQ(decode_key_value_bytes("\xFF\xFE"
                                   "A"),
            u"");
  // Neither a lone FF nor the big-endian mark switches encodings.
  EXPECT_EQ(decode_key_value_bytes("\xFF"), u"\u00ff");
  EXPECT_EQ(decode_key_value_bytes("\xFE\xFF"), u"\u00fe\u00ff");
  EXPECT_EQ(decode_key_value_bytes(""), u"");
}

class KeyValueFileReadTest : public testing::Test {
 protected:
  std::string m_dir = test::make_temp_dir("kv");
  std::u16string path(const std::string& name) { return from_utf8(m_dir + "/" + name); }
};

TEST_F(KeyValueFileReadTest, ReadsAMarkedFileWithCrLf) {
  test::write_file(m_dir + "/a.lng",
                   utf16le_with_mark(u"Cancel=\u041e\u0442\u043c\u0435\u043d\u0430\r\nOf=of\r\n"));
  KeyValueMap map;
  ASSERT_TRUE(read_key_value_file(path("a.lng"), map));
  EXPECT_EQ(map,
            (KeyValueMap{{u"Cancel", u"\u041e\u0442\u043c\u0435\u043d\u0430"}, {u"Of", u"of"}}));
}

TEST_F(KeyValueFileReadTest, OnlyTheMarkGivesAnEmptyTableThatReplacesTheOld) {
  test::write_file(m_dir + "/mark.lng", "\xFF\xFE");
  KeyValueMap map{{u"old", u"value"}};
  ASSERT_TRUE(read_key_value_file(path("mark.lng"), map));
  EXPECT_TRUE(map.empty());
}

TEST_F(KeyValueFileReadTest, AcceptsBackslashSeparators) {
  test::write_file(m_dir + "/b.ini", "x=1\n");
  std::u16string name = path("b.ini");
  for (auto& c : name)
    if (c == u'/') c = u'\\';
  KeyValueMap map;
  ASSERT_TRUE(read_key_value_file(name, map));
  EXPECT_EQ(map.at(u"x"), u"1");
}

TEST_F(KeyValueFileReadTest, FailuresLeaveTheMapUntouched) {
  const KeyValueMap before{{u"old", u"value"}};
  KeyValueMap map = before;
  EXPECT_FALSE(read_key_value_file(path("missing.lng"), map));
  EXPECT_FALSE(read_key_value_file(from_utf8(m_dir), map));  // a folder

  // A file beyond the bound is refused without being read (sparse, so cheap).
  const std::string huge = m_dir + "/huge.lng";
  test::write_file(huge, "k=v\n");
  std::filesystem::resize_file(huge, kMaxKeyValueFileBytes + 1);
  EXPECT_FALSE(read_key_value_file(path("huge.lng"), map));
  EXPECT_EQ(map, before);
}

}  // namespace
}  // namespace lv
