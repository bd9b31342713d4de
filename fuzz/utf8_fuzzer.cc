// toUtf8 on any UTF-16 text: the output is well-formed UTF-8, and decoding
// it gives back the input with every unpaired surrogate replaced by U+FFFD.

#include <cstdint>
#include <vector>

#include "app/utf8.h"
#include "fuzz_text.h"

namespace {

// The code points of UTF-16 text; an unpaired surrogate reads as U+FFFD.
std::vector<char32_t> codePointsOf(const std::u16string& text) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      points.push_back(0x10000 + ((unit - 0xD800) << 10) +
                       (text[i + 1] - 0xDC00));
      ++i;
    } else {
      points.push_back(high || low ? 0xFFFD : unit);
    }
  }
  return points;
}

// Strict UTF-8 decoding: stops the run on any malformed, overlong or
// surrogate sequence.
std::vector<char32_t> decodeUtf8(const std::string& bytes) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    char32_t point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1, point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, point = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, point = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, point = lead & 0x07, minimum = 0x10000;
    }
    FUZZ_CHECK(length != 0 && i + length <= bytes.size());
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      FUZZ_CHECK((next & 0xC0) == 0x80);
      point = (point << 6) | (next & 0x3F);
    }
    FUZZ_CHECK(point >= minimum && point <= 0x10FFFF);
    FUZZ_CHECK(point < 0xD800 || point > 0xDFFF);
    points.push_back(point);
    i += length;
  }
  return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::u16string text = unitsOf(data, size);
  const std::string bytes = toUtf8(text);
  FUZZ_CHECK(decodeUtf8(bytes) == codePointsOf(text));
  return 0;
}
