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

// A camera's values in key order, as found by the walk over the tree.
struct Camera {
  const char* text[4];
  std::uint32_t size[4];
};

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

// Byte by byte: for keys this short, faster than a call to memcmp.
bool isKey(string_view key, string_view expected) {
  if (key.size() != expected.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] != expected[i]) return false;
  }
  return true;
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

char* putQuoted(char* out, string_view text) {
  *out++ = '"';
  out = putEscaped(out, text);
  *out++ = '"';
  return out;
}

char* putCamera(char* out, const Camera& c) {
  for (int i = 0; i < 4; ++i) {
    out = putEscaped(put(out, kCameraPieces[i]), {c.text[i], c.size[i]});
  }
  return put(out, kCameraPieces[4]);
}

// Cameras are walked in groups, one step for all of a group before the next
// step: the memory reads of different cameras then overlap. Their texts are
// scanned once all their values are found.
constexpr size_t kGroup = 32;

// Checks that `array` holds cameras only and adds them to `cameras`; returns
// the length of their text.
size_t collectCameras(const Json::Value& array, std::vector<Camera>& cameras) {
  if (array.empty()) reject("an array is empty");
  size_t size = array.size() * kCameraFixedSize - 1;
  const size_t first = cameras.size();
  const auto end = array.end();
  for (auto element = array.begin(); element != end;) {
    const Json::Value* group[kGroup];
    size_t n = 0;
    for (; n < kGroup && element != end; ++element) group[n++] = &*element;
    Json::Value::const_iterator members[kGroup];
    for (size_t g = 0; g < n; ++g) {
      if (!group[g]->isObject() || group[g]->size() != 4) {
        reject("a camera is not an object of four members");
      }
      members[g] = group[g]->begin();
    }
    cameras.resize(cameras.size() + n);
    Camera* const camera = &cameras[cameras.size() - n];
    for (int i = 0; i < 4; ++i) {
      if (i > 0) {
        for (size_t g = 0; g < n; ++g) ++members[g];
      }
      for (size_t g = 0; g < n; ++g) {
        if (!isKey(keyOf(members[g]), kCameraKeys[i])) reject("a camera's key");
        const string_view value = stringOf(*members[g]);
        camera[g].text[i] = value.data();
        camera[g].size[i] = static_cast<std::uint32_t>(value.size());
      }
    }
    for (size_t g = 0; g < n; ++g) {
      for (int i = 0; i < 4; ++i) {
        size += escapedSize({camera[g].text[i], camera[g].size[i]});
      }
    }
  }
  // Indexes are unique and below the size: only a gap leaves fewer.
  if (cameras.size() - first != array.size()) reject("an array has a gap");
  return size;
}

}  // namespace

std::string renderCameraReport(const Json::Value& root) {
  if (!root.isObject() || root.empty()) reject("the root is not an object");
  size_t cameraCount = 0;
  for (const Json::Value& member : root) {
    if (member.isArray()) {
      cameraCount += member.size();
    } else if (!member.isString()) {
      reject("a member of the root is neither a string nor an array");
    }
  }
  // The cameras are walked once; the root's few members again for writing.
  std::vector<Camera> cameras;
  cameras.reserve(cameraCount);
  size_t size = 3;  // "{\n", "}\n" and one line feed less than members
  const auto end = root.end();
  for (auto member = root.begin(); member != end; ++member) {
    // Three spaces, the key's quotes, " : " and ",\n"; a string's quotes, or
    // "[\n" and "   ]" around the cameras.
    size += 10 + escapedSize(keyOf(member));
    size += member->isString() ? 2 + escapedSize(stringOf(*member))
                               : 6 + collectCameras(*member, cameras);
  }

  std::string text(size + sizeof(Escape::text), '\0');
  char* out = put(&text[0], "{\n");
  const Camera* camera = cameras.data();
  for (auto member = root.begin(); member != end;) {
    out = put(putQuoted(put(out, "   "), keyOf(member)), " : ");
    if (member->isString()) {
      out = putQuoted(out, stringOf(*member));
    } else {
      out = put(out, "[\n");
      for (Json::ArrayIndex left = member->size(); left > 0; --left) {
        out = putCamera(out, *camera++);
        out = put(out, left > 1 ? kBetweenCameras : "\n");
      }
      out = put(out, "   ]");
    }
    out = put(out, ++member != end ? ",\n" : "\n");
  }
  put(out, "}\n");
  text.resize(size);
  return text;
}
