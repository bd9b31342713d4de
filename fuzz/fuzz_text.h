#ifndef CAMERA_INFO_FUZZ_FUZZ_TEXT_H_
#define CAMERA_INFO_FUZZ_FUZZ_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Fuzz input as UTF-16: each pair of bytes is one code unit, low byte first.
inline std::u16string unitsOf(const std::uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

// Stops the run with a message; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, \
                   __LINE__);                                                  \
      std::abort();                                                            \
    }                                                                          \
  } while (false)

#endif  // CAMERA_INFO_FUZZ_FUZZ_TEXT_H_
