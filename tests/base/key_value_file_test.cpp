#include "base/key_value_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/log_capture.h"
#include "platform/text.h"
#include "support/test_env.h"

namespace lv {
namespace {

using test::utf16le_file;

TEST(KeyValueFileTest, LineSyntax) {
  KeyValueMap map{{u"keep", u"old"}, {u"dup", u"old"}};
  parse_key_value_text(
      u"a=word\nb   word\nc= word\nd\tword\r\ne \t word\r"
      u"   indented=yes\n\t\ttabbed value with  inner  blanks  \n=no key\n   \n\r\r\n"
      u"bare\nempty=\nspaced = x\neq=a=b\n#hash comment\ndup=first\ndup=second",
      map);
  // Parsing adds to the map. A blank right after '=' belongs to the value,
  // which runs to the end of the line; after a blank separator '=' is value.
  // There is no comment syntax.
  const KeyValueMap expected = {{u"keep", u"old"},      {u"a", u"word"},
                                {u"b", u"word"},        {u"c", u" word"},
                                {u"d", u"word"},        {u"e", u"word"},
                                {u"indented", u"yes"},  {u"tabbed", u"value with  inner  blanks  "},
                                {u"bare", u""},         {u"empty", u""},
                                {u"spaced", u"= x"},    {u"eq", u"a=b"},
                                {u"#hash", u"comment"}, {u"dup", u"second"}};
  EXPECT_EQ(map, expected);
}

TEST(KeyValueFileTest, EightBitBytesAreLatin1AndTheMarkMeansUtf16LittleEndian) {
  std::string bytes;
  std::u16string latin1;
  for (int b = 0; b < 256; ++b) {
    bytes += static_cast<char>(b);
    latin1 += static_cast<char16_t>(b);
  }
  EXPECT_EQ(decode_key_value_bytes(bytes), latin1);

  const std::u16string text = u"k=\u041f\u0440\u0438\U0001F600";
  EXPECT_EQ(decode_key_value_bytes(utf16le_file(text)), text);
  EXPECT_EQ(decode_key_value_bytes(utf16le_file(u"ab") + "c"), u"ab");  // odd last byte
  EXPECT_EQ(decode_key_value_bytes("\xFF\xFE\x41"), u"");
  // Neither a lone FF nor the big-endian mark switches encodings.
  EXPECT_EQ(decode_key_value_bytes("\xFF"), u"\u00ff");
  EXPECT_EQ(decode_key_value_bytes("\xFE\xFF"), u"\u00fe\u00ff");
}

TEST(KeyValueFileTest, ReadingReplacesTheMapOnlyOnSuccess) {
  const std::string dir = test::make_temp_dir("kv");
  test::write_file(dir + "/a.lng", utf16le_file(u"Cancel=\u041e\u0442\u043c\r\nOf=of\r\n"));
  test::write_file(dir + "/mark.lng", "\xFF\xFE");
  test::write_file(dir + "/huge.lng", "k=v\n");
  // Beyond the bound: refused without being read (sparse, so cheap).
  std::filesystem::resize_file(dir + "/huge.lng", kMaxKeyValueFileBytes + 1);

  const KeyValueMap before{{u"old", u"value"}};
  KeyValueMap map = before;
  for (const char* name : {"/missing.lng", "", "/huge.lng"})
    EXPECT_FALSE(read_key_value_file(from_utf8(dir + name), map)) << name;
  EXPECT_EQ(map, before);
  ASSERT_TRUE(read_key_value_file(from_utf8(dir) + u"\\a.lng", map));  // either separator
  EXPECT_EQ(map, (KeyValueMap{{u"Cancel", u"\u041e\u0442\u043c"}, {u"Of", u"of"}}));
  ASSERT_TRUE(read_key_value_file(from_utf8(dir + "/mark.lng"), map));
  EXPECT_TRUE(map.empty());
}

}  // namespace
}  // namespace lv
