#include "report/report_writer.h"

#include <string>
#include <string_view>

namespace {

[[noreturn]] void reject(const char* what) {
  Json::throwLogicError(std::string("renderCameraReport: ") + what);
}

std::string_view stringOf(const Json::Value& value) {
  const char *begin = nullptr, *end = nullptr;
  if (!value.getString(&begin, &end)) reject("a value is not a string");
  return {begin, static_cast<size_t>(end - begin)};
}

// The letters of the short escapes of the bytes below 0x20, 0 where none.
constexpr char kShortEscapes[0x20] = {0, 0,   0,   0,   0, 0,   0,
                                      0, 'b', 't', 'n', 0, 'f', 'r'};
constexpr char kHex[] = "0123456789ABCDEF";

// Appends `text` between quotes, escaped. Bytes from 0x7F up are copied, so
// UTF-8 stays UTF-8.
void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += {'\\', c};
    } else if (byte >= 0x20) {
      out += c;
    } else if (kShortEscapes[byte] != 0) {
      out += {'\\', kShortEscapes[byte]};
    } else {
      out += {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  out += '"';
}

// A camera is an object of exactly these members; jsoncpp keeps an object's
// members sorted by key, so they come in this order.
constexpr std::string_view kCameraKeys[] = {"detail", "name", "pid", "vid"};

void appendCameras(std::string& out, const Json::Value& cameras) {
  out += "[\n";
  Json::ArrayIndex count = 0;
  for (const Json::Value& camera : cameras) {
    if (!camera.isObject() || camera.size() != 4) reject("a camera's members");
    if (count++ > 0) out += ",\n";
    out += "      {\n";
    auto member = camera.begin();
    for (const std::string_view key : kCameraKeys) {
      if (member.name() != key) reject("a camera's key");
      out.append("         \"").append(key).append("\" : ");
      appendQuoted(out, stringOf(*member));
      out += ++member != camera.end() ? ",\n" : "\n";
    }
    out += "      }";
  }
  // size() is the last index + 1, and the walk visits only the elements that
  // were set: fewer means a gap.
  if (count == 0 || count != cameras.size()) reject("an empty array or a gap");
  out += "\n   ]";
}

}  // namespace

std::string renderCameraReport(const Json::Value& root) {
  if (!root.isObject() || root.empty()) reject("the root is not an object");
  std::string out = "{\n";
  for (auto member = root.begin(); member != root.end();) {
    out += "   ";
    appendQuoted(out, member.name());
    out += " : ";
    if (member->isArray()) {
      appendCameras(out, *member);
    } else {
      appendQuoted(out, stringOf(*member));
    }
    out += ++member != root.end() ? ",\n" : "\n";
  }
  out += "}\n";
  return out;
}
