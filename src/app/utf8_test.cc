#include "app/utf8.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct Utf8Case {
  std::u16string text;
  std::string expected;
  const char* what;
};

// Runs against our own converter and, in the Windows build, against the
// platform's WideCharToMultiByte: both must give these bytes.
TEST(ToUtf8, EncodesEveryUnitOfTheText) {
  const Utf8Case cases[] = {
      {u"", "", "empty"},
      {u"1.0.1", "1.0.1", "ASCII"},
      {u"\u00e9", "\xC3\xA9", "two bytes"},
      {u"\u4e2d", "\xE4\xB8\xAD", "three bytes"},
      {u"\xd83d\xde00", "\xF0\x9F\x98\x80", "a surrogate pair"},
      {u"a\0b"s, "a\0b"s, "a zero unit inside"},
      {u"\0"s, "\0"s, "a zero unit alone"},
      {u"\x7f\x80\x7ff\x800\xffff",
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", "range edges"},
      {u"\xdbff\xdfff", "\xF4\x8F\xBF\xBF", "the last code point"},
      {u"x\xd83d", "x\xEF\xBF\xBD", "a high surrogate at the end"},
      {u"\xde00x", "\xEF\xBF\xBDx", "a lone low surrogate"},
      {u"\xd83d\xd83d\xde00", "\xEF\xBF\xBD\xF0\x9F\x98\x80",
       "a high surrogate before a pair"},
      {u"\xde00\xd83d", "\xEF\xBF\xBD\xEF\xBF\xBD", "a reversed pair"},
      {u"F\u00fcr B\u00fcro \u4e2d\u6587",
       "F\xC3\xBCr B\xC3\xBCro \xE4\xB8\xAD\xE6\x96\x87", "mixed text"},
  };
  for (const Utf8Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(toUtf8(c.text), c.expected);
  }
}

TEST(ToUtf8, ConvertsLongTextsWhole) {
  const std::u16string text = std::u16string(100000, u'\u00e9') + u"end";
  const std::string bytes = toUtf8(text);
  EXPECT_EQ(bytes.size(), 200003u);
  EXPECT_EQ(bytes.substr(bytes.size() - 5),
            "\xC3\xA9"
            "end");
}

}  // namespace
