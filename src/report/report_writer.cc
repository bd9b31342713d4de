#include "report/report_writer.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using std::string_view;

// How one byte is written between quotes: itself, or an escape.
struct Escape {
  char text[6];
  std::uint8_t size;
};

constexpr std::array<Escape, 256> kEscapes = [] {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::array<Escape, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    table[c] =
        c < 0x20 ? Escape{{'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]}, 6}
                 : Escape{{static_cast<char>(c)}, 1};
  }
  constexpr char kShort[] = "\"\"\\\\\bb\tt\nn\ff\rr";  // byte, letter
  for (unsigned i = 0; i + 1 < sizeof kShort; i += 2) {
    table[static_cast<unsigned char>(kShort[i])] = {{'\\', kShort[i + 1]}, 2};
  }
  return table;
}();

const Escape& escapeOf(char c) {
  return kEscapes[static_cast<unsigned char>(c)];
}

constexpr string_view kCameraKeys[4] = {"detail", "name", "pid", "vid"};
// The text before each of a camera's values and after the last.
constexpr string_view kCameraPieces[5] = {
    "      {\n         \"detail\" : \"", "\",\n         \"name\" : \"",
    "\",\n         \"pid\" : \"", "\",\n         \"vid\" : \"", "\"\n      }"};
constexpr string_view kBetweenCameras = ",\n";

// A camera's text with every value empty, and the ",\n" after it.
constexpr size_t kCameraFixedSize = [] {
  size_t size = kBetweenCameras.size();
  for (string_view piece : kCameraPieces) size += piece.size();
  return size;
}();

// The piece before each of a camera's values names its key.
constexpr bool piecesNameTheKeys() {
  for (int i = 0; i < 4; ++i) {
    if (kCameraPieces[i].find(kCameraKeys[i]) == string_view::npos) {
      return false;
    }
  }
  return true;
}
static_assert(piecesNameTheKeys());

// A camera's values in key order. jsoncpp keeps a string's length in 32
// bits, and so does the list, which keeps it small beside the text.
struct Camera {
  const char* text[4];
  std::uint32_t size[4];
  string_view value(int i) const { return {text[i], size[i]}; }
};

[[noreturn]] void reject(const char* what) {
  Json::throwLogicError(std::string("renderCameraReport: ") + what);
}

string_view stringOf(const Json::Value& value) {
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!value.getString(&begin, &end)) reject("a value is not a string");
  return {begin, static_cast<size_t>(end - begin)};
}

string_view keyOf(const Json::Value::const_iterator& member) {
  const char* end = nullptr;
  const char* key = member.memberName(&end);
  return {key, static_cast<size_t>(end - key)};
}

// Whether any of the eight bytes at `at` is below 0x20, '"' or '\\'.
bool needsEscape(const char* at) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  const std::uint64_t quotes = word ^ (kOnes * '"');
  const std::uint64_t backslashes = word ^ (kOnes * '\\');
  return ((((word - kOnes * 0x20) & ~word) | ((quotes - kOnes) & ~quotes) |
           ((backslashes - kOnes) & ~backslashes)) &
          (kOnes * 0x80)) != 0;
}

size_t escapedSize(string_view text) {
  size_t size = text.size();
  const char* at = text.data();
  const char* const end = at + text.size();
  for (; end - at >= 8; at += 8) {
    if (!needsEscape(at)) continue;
    for (int i = 0; i < 8; ++i) size += escapeOf(at[i]).size - 1u;
  }
  for (; at != end; ++at) size += escapeOf(*at).size - 1u;
  return size;
}

char* put(char* out, string_view piece) {
  std::memcpy(out, piece.data(), piece.size());
  return out + piece.size();
}

// Every escape is copied as six bytes: those past its size are overwritten
// next, or fall in the spare bytes at the end of the text.
char* putByte(char* out, char c) {
  std::memcpy(out, escapeOf(c).text, sizeof(Escape::text));
  return out + escapeOf(c).size;
}

char* putEscaped(char* out, string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  for (; end - at >= 8; at += 8) {
    if (!needsEscape(at)) {
      out = put(out, {at, 8});
    } else {
      for (int i = 0; i < 8; ++i) out = putByte(out, at[i]);
    }
  }
  for (; at != end; ++at) out = putByte(out, *at);
  return out;
}

// Checks that `array` holds cameras only and adds them to `cameras`; returns
// the length of their text.
size_t collectCameras(const Json::Value& array, std::vector<Camera>& cameras) {
  if (array.empty()) reject("an array is empty");
  size_t size = array.size() * kCameraFixedSize - 1;  // "\n" after the last
  const size_t first = cameras.size();
  cameras.reserve(first + array.size());
  for (const Json::Value& element : array) {
    if (!element.isObject() || element.size() != 4) {
      reject("a camera is not an object of four members");
    }
    Camera& camera = cameras.emplace_back();
    auto member = element.begin();
    for (int i = 0; i < 4; ++i, ++member) {
      if (keyOf(member) != kCameraKeys[i]) reject("a camera's key");
      const string_view value = stringOf(*member);
      camera.text[i] = value.data();
      camera.size[i] = static_cast<std::uint32_t>(value.size());
      size += escapedSize(value);
    }
  }
  // Indexes are unique and below the size: only a gap leaves fewer.
  if (cameras.size() - first != array.size()) reject("an array has a gap");
  return size;
}

}  // namespace

std::string renderCameraReport(const Json::Value& root) {
  if (!root.isObject() || root.empty()) reject("the root is not an object");
  // The cameras are walked once; the root's few members again for writing.
  std::vector<Camera> cameras;
  size_t size = 3;  // "{\n", "}\n" and one line feed less than members
  const auto end = root.end();
  for (auto member = root.begin(); member != end; ++member) {
    // Three spaces, the key's quotes, " : " and ",\n"; a string's quotes, or
    // "[\n" and "   ]" around the cameras.
    size += 10 + escapedSize(keyOf(member));
    if (member->isString()) {
      size += 2 + escapedSize(stringOf(*member));
    } else if (member->isArray()) {
      size += 6 + collectCameras(*member, cameras);
    } else {
      reject("a member of the root is neither a string nor an array");
    }
  }

  std::string text(size + sizeof(Escape::text), '\0');
  char* out = put(&text[0], "{\n");
  const Camera* camera = cameras.data();
  for (auto member = root.begin(); member != end;) {
    out = put(putEscaped(put(out, "   \""), keyOf(member)), "\" : ");
    if (member->isString()) {
      out = put(putEscaped(put(out, "\""), stringOf(*member)), "\"");
    } else {
      out = put(out, "[\n");
      for (Json::ArrayIndex left = member->size(); left > 0; --left) {
        for (int i = 0; i < 4; ++i) {
          out = putEscaped(put(out, kCameraPieces[i]), camera->value(i));
        }
        out = put(out, kCameraPieces[4]);
        out = put(out, left > 1 ? kBetweenCameras : "\n");
        ++camera;
      }
      out = put(out, "   ]");
    }
    out = put(out, ++member != end ? ",\n" : "\n");
  }
  put(out, "}\n");
  text.resize(size);
  return text;
}
