#include <windows.h>

#include <climits>
#include <stdexcept>

#include "app/utf8.h"

std::string toUtf8(const std::u16string& text) {
  // The platform counts in int; a longer text would be cut or misread, so it
  // is refused as a whole rather than converted in part.
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::length_error("text too long to convert");
  }
  // wchar_t is a UTF-16 code unit on Windows; the platform only reads it.
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), size, nullptr,
                      nullptr);
  return out;
}
