#ifndef CAMERA_INFO_APP_UTF8_H_
#define CAMERA_INFO_APP_UTF8_H_

#include <string>

/// Converts the whole of `text` (UTF-16 code units) to UTF-8 bytes. A zero
/// unit becomes a zero byte; an unpaired surrogate becomes U+FFFD. Returns
/// the empty string where the platform's conversion fails.
std::string toUtf8(const std::u16string& text);

#endif  // CAMERA_INFO_APP_UTF8_H_
