#include "app/utf8.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

// Our own converter and, in the Windows build, WideCharToMultiByte must both
// give these bytes.
TEST(ToUtf8, EncodesEveryUnitOfTheText) {
  std::string longBytes;  // a long text is converted whole
  for (int i = 0; i < 100000; ++i) longBytes += "\xC3\xA9";
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""},
      {u"1.0.1", "1.0.1"},
      {u"a\0b"s, "a\0b"s},  // a zero unit is converted, not an end
      {u"\x7f\x80\x7ff\x800\xffff",
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\u00e9\u4e2d", "\xC3\xA9\xE4\xB8\xAD"},
      {u"\xd83d\xde00\xdbff\xdfff", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {u"x\xd83d", "x\xEF\xBF\xBD"},  // unpaired surrogates give U+FFFD
      {u"\xde00\xd83d\xd83d\xde00", "\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {std::u16string(100000, u'\u00e9') + u"!", longBytes + "!"},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(toUtf8(text), bytes) << bytes.size();
  }
}

}  // namespace
