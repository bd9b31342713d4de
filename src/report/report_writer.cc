#include "report/report_writer.h"

#include <json/writer.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kRightMargin = 74;
constexpr size_t kIndentStep = 3;

// How each byte is written inside a string: null means as itself.
struct EscapeTable {
  std::array<const char*, 256> escapes{};
  std::array<unsigned char, 256> extraBytes{};  // escape length less one
  std::array<char[7], 32> controlEscapes{};

  constexpr EscapeTable() {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (unsigned byte = 0; byte < 0x20; ++byte) {
      char* escape = controlEscapes[byte];
      const char text[7] = {
          '\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F],
          '\0'};
      for (int i = 0; i < 7; ++i) escape[i] = text[i];
      set(byte, escape, 6);
    }
    set('"', "\\\"", 2);
    set('\\', "\\\\", 2);
    set('\b', "\\b", 2);
    set('\t', "\\t", 2);
    set('\n', "\\n", 2);
    set('\f', "\\f", 2);
    set('\r', "\\r", 2);
    // Everything else, 0x7F and all bytes of UTF-8 sequences included, is
    // copied unchanged.
  }

 private:
  constexpr void set(unsigned byte, const char* escape, unsigned char length) {
    escapes[byte] = escape;
    extraBytes[byte] = static_cast<unsigned char>(length - 1);
  }
};

constexpr EscapeTable kEscapeTable;

// Marks each zero byte of `word` with its high bit, exactly.
constexpr std::uint64_t zeroBytes(std::uint64_t word) {
  constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Fu;
  return ~(((word & kLowBits) + kLowBits) | word | kLowBits);
}

// How many bytes longer [begin, end) gets through escaping.
size_t escapedExtra(const char* at, const char* end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  size_t extra = 0;
  while (end - at >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, at, sizeof chunk);
    if (zeroBytes(chunk & (kOnes * 0xE0)) != 0) break;  // a control byte
    const std::uint64_t twoByteEscapes =
        zeroBytes(chunk ^ (kOnes * '"')) | zeroBytes(chunk ^ (kOnes * '\\'));
    // One bit per marked byte, summed by a multiplication into the top byte.
    extra += static_cast<size_t>(((twoByteEscapes >> 7) * kOnes) >> 56);
    at += 8;
  }
  for (; at != end; ++at) {
    extra += kEscapeTable.extraBytes[static_cast<unsigned char>(*at)];
  }
  return extra;
}

// The first byte in [at, end) that needs an escape, or end. Eight bytes at a
// time tell whether any of them is a control byte, '"' or '\\'; only then
// are they looked at one by one.
const char* findEscape(const char* at, const char* end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  while (end - at >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, at, sizeof chunk);
    const std::uint64_t quotes = chunk ^ (kOnes * '"');
    const std::uint64_t backslashes = chunk ^ (kOnes * '\\');
    const std::uint64_t hits = ((chunk - kOnes * 0x20) & ~chunk) |
                               ((quotes - kOnes) & ~quotes) |
                               ((backslashes - kOnes) & ~backslashes);
    if ((hits & kHighBits) != 0) break;
    at += 8;
  }
  while (at != end &&
         kEscapeTable.escapes[static_cast<unsigned char>(*at)] == nullptr) {
    ++at;
  }
  return at;
}

// The text being written. The writer runs twice: once over a TextMeasure,
// which only counts, and once over a TextBuffer of exactly that size, so the
// report is built in one allocation.
class TextMeasure {
 public:
  void append(const char* data, size_t size) {
    if (size == 0) return;
    size_ += size;
    last_ = data[size - 1];
  }
  void append(const std::string& text) { append(text.data(), text.size()); }
  void appendSpaces(size_t count) {
    if (count == 0) return;
    size_ += count;
    last_ = ' ';
  }
  void appendQuoted(const char* begin, const char* end) {
    size_ += static_cast<size_t>(end - begin) + 2 + escapedExtra(begin, end);
    last_ = '"';
  }
  bool empty() const { return size_ == 0; }
  char back() const { return last_; }
  size_t size() const { return size_; }

 private:
  size_t size_ = 0;
  char last_ = '\0';
};

class TextBuffer {
 public:
  explicit TextBuffer(size_t size) : text_(size, '\0') {}

  void append(const char* data, size_t size) {
    // Never past the end, even should the measure have been short.
    if (size > text_.size() - used_) text_.resize(used_ + size);
    std::memcpy(&text_[used_], data, size);
    used_ += size;
  }
  void append(const std::string& text) { append(text.data(), text.size()); }
  void appendSpaces(size_t count) {
    static constexpr char kSpaces[] = "                                ";
    for (; count > 32; count -= 32) append(kSpaces, 32);
    append(kSpaces, count);
  }
  void appendQuoted(const char* begin, const char* end) {
    append("\"", 1);
    const char* plain = begin;  // start of the bytes not written yet
    for (const char* at = findEscape(begin, end); at != end;
         at = findEscape(plain, end)) {
      append(plain, static_cast<size_t>(at - plain));
      const unsigned char byte = static_cast<unsigned char>(*at);
      append(kEscapeTable.escapes[byte], kEscapeTable.extraBytes[byte] + 1u);
      plain = at + 1;
    }
    append(plain, static_cast<size_t>(end - plain));
    append("\"", 1);
  }
  bool empty() const { return used_ == 0; }
  char back() const { return text_[used_ - 1]; }
  std::string take() {
    text_.resize(used_);
    return std::move(text_);
  }

 private:
  std::string text_;
  size_t used_ = 0;
};

// A scalar or an empty container, as StyledWriter writes it on its own.
std::string scalarText(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return "null";
    case Json::intValue:
      return Json::valueToString(value.asLargestInt());
    case Json::uintValue:
      return Json::valueToString(value.asLargestUInt());
    case Json::realValue:
      return Json::valueToString(value.asDouble());
    case Json::booleanValue:
      return Json::valueToString(value.asBool());
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      if (!value.getString(&begin, &end)) return "";
      TextMeasure measure;
      measure.appendQuoted(begin, end);
      TextBuffer buffer(measure.size());
      buffer.appendQuoted(begin, end);
      return buffer.take();
    }
    case Json::arrayValue:
      return "[]";
    case Json::objectValue:
      return "{}";
  }
  return "";
}

bool isNonEmptyContainer(const Json::Value& value) {
  return (value.isArray() || value.isObject()) && !value.empty();
}

// Calls visit(index, element) for every index below the array's size, in
// order, as StyledWriter does: an index that was never set reads as null.
// Walking the array's entries in order saves a look-up per element.
template <typename Visit>
void forEachElement(const Json::Value& array, Visit visit) {
  const Json::ArrayIndex size = array.size();
  auto entry = array.begin();
  const auto end = array.end();
  for (Json::ArrayIndex index = 0; index < size; ++index) {
    if (entry != end && entry.index() == index) {
      visit(index, *entry);
      ++entry;
    } else {
      visit(index, Json::Value::nullSingleton());
    }
  }
}

// StyledWriter keeps an array on one line when it has fewer than 25
// elements, none of them a non-empty container, and "[ a, b ]" stays within
// the right margin. Where the elements were rendered to decide, they are
// left in `pieces` for reuse.
bool fitsOnOneLine(const Json::Value& array, std::vector<std::string>& pieces) {
  const Json::ArrayIndex size = array.size();
  if (size * 3 >= kRightMargin) return false;
  for (const Json::Value& element : array) {
    if (isNonEmptyContainer(element)) return false;
  }
  size_t lineLength = 4 + (size - 1) * 2;
  pieces.reserve(size);
  forEachElement(array, [&](Json::ArrayIndex, const Json::Value& element) {
    pieces.push_back(scalarText(element));
    lineLength += pieces.back().size();
  });
  return lineLength < kRightMargin;
}

// Follows StyledWriter's algorithm step by step, so that the layout is the
// same for any value tree; only the escaping of strings differs.
template <typename Text>
class StyledWriting {
 public:
  explicit StyledWriting(Text& text) : text_(text) {}

  void writeRoot(const Json::Value& root) {
    writeValue(root);
    text_.append("\n", 1);
  }

 private:
  void writeValue(const Json::Value& value) {
    switch (value.type()) {
      case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (value.getString(&begin, &end)) text_.appendQuoted(begin, end);
        return;
      }
      case Json::objectValue:
        if (!value.empty()) return writeObject(value);
        break;
      case Json::arrayValue:
        if (!value.empty()) return writeArray(value);
        break;
      default:
        break;
    }
    text_.append(scalarText(value));
  }

  void writeObject(const Json::Value& object) {
    writeWithIndent('{');
    indentation_ += kIndentStep;
    // Members iterate in key order: bytes compared unsigned, shorter first.
    const auto end = object.end();
    for (auto member = object.begin(); member != end;) {
      writeIndent();
      const char* keyEnd = nullptr;
      const char* key = member.memberName(&keyEnd);
      text_.appendQuoted(key, keyEnd);
      text_.append(" : ", 3);
      writeValue(*member);
      if (++member != end) text_.append(",", 1);
    }
    indentation_ -= kIndentStep;
    writeWithIndent('}');
  }

  void writeArray(const Json::Value& array) {
    const Json::ArrayIndex size = array.size();
    std::vector<std::string> pieces;
    if (fitsOnOneLine(array, pieces)) {
      text_.append("[ ", 2);
      for (Json::ArrayIndex index = 0; index < size; ++index) {
        if (index > 0) text_.append(", ", 2);
        text_.append(pieces[index]);
      }
      text_.append(" ]", 2);
      return;
    }
    writeWithIndent('[');
    indentation_ += kIndentStep;
    forEachElement(array,
                   [&](Json::ArrayIndex index, const Json::Value& element) {
                     if (!pieces.empty()) {
                       writeWithIndent(pieces[index]);
                     } else {
                       writeIndent();
                       writeValue(element);
                     }
                     if (index + 1 < size) text_.append(",", 1);
                   });
    indentation_ -= kIndentStep;
    writeWithIndent(']');
  }

  // Starts a new line at the current indentation, unless the text already
  // ends in a space (after " : " or a fresh indentation).
  void writeIndent() {
    if (!text_.empty()) {
      const char last = text_.back();
      if (last == ' ') return;
      if (last != '\n') text_.append("\n", 1);
    }
    text_.appendSpaces(indentation_);
  }

  void writeWithIndent(const std::string& piece) {
    writeIndent();
    text_.append(piece);
  }
  void writeWithIndent(char bracket) {
    writeIndent();
    text_.append(&bracket, 1);
  }

  Text& text_;
  size_t indentation_ = 0;
};

}  // namespace

std::string renderCameraReport(const Json::Value& root) {
  TextMeasure measure;
  StyledWriting<TextMeasure>(measure).writeRoot(root);
  TextBuffer buffer(measure.size());
  StyledWriting<TextBuffer>(buffer).writeRoot(root);
  return buffer.take();
}
