// toUtf8 on any UTF-16 text gives what the standard library's converter
// gives once every unpaired surrogate is replaced by U+FFFD.

#include <codecvt>
#include <cstdint>
#include <locale>

#include "app/utf8.h"
#include "fuzz_text.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::u16string text = unitsOf(data, size);
  std::u16string paired = text;
  for (size_t i = 0; i < paired.size(); ++i) {
    const bool high = paired[i] >= 0xD800 && paired[i] <= 0xDBFF;
    const bool lowNext = i + 1 < paired.size() && paired[i + 1] >= 0xDC00 &&
                         paired[i + 1] <= 0xDFFF;
    if (high && lowNext) {
      ++i;
    } else if (paired[i] >= 0xD800 && paired[i] <= 0xDFFF) {
      paired[i] = 0xFFFD;
    }
  }
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> utf8;
  FUZZ_CHECK(toUtf8(text) == utf8.to_bytes(paired));
  return 0;
}
