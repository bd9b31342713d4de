#include "report/report_writer.h"

#include <json/writer.h>

#include <vector>

namespace {

constexpr size_t kRightMargin = 74;
constexpr const char* kIndentUnit = "   ";

void appendQuoted(std::string& out, const char* begin, const char* end) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  out += '"';
  for (const char* at = begin; at != end; ++at) {
    const unsigned char byte = static_cast<unsigned char>(*at);
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 0x0F];
        } else {
          out += static_cast<char>(byte);  // UTF-8 stays as it is
        }
    }
  }
  out += '"';
}

std::string quoted(const char* begin, const char* end) {
  std::string out;
  appendQuoted(out, begin, end);
  return out;
}

// Follows StyledWriter's algorithm step by step, so that the layout is the
// same for any value tree; only the escaping of strings differs.
class StyledText {
 public:
  std::string render(const Json::Value& root) {
    writeValue(root);
    text_ += '\n';
    return std::move(text_);
  }

 private:
  // A scalar or an empty container, as a single piece of text.
  static std::string scalarText(const Json::Value& value) {
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
        return value.getString(&begin, &end) ? quoted(begin, end) : "";
      }
      case Json::arrayValue:
        return "[]";
      case Json::objectValue:
        return "{}";
    }
    return "";
  }

  static bool isNonEmptyContainer(const Json::Value& value) {
    return (value.isArray() || value.isObject()) && !value.empty();
  }

  void writeValue(const Json::Value& value) {
    if (value.isObject() && !value.empty()) {
      writeObject(value);
    } else if (value.isArray() && !value.empty()) {
      writeArray(value);
    } else {
      text_ += scalarText(value);
    }
  }

  void writeObject(const Json::Value& object) {
    writeWithIndent("{");
    indent();
    // Members iterate in key order: bytes compared unsigned, shorter first.
    for (auto member = object.begin(); member != object.end();) {
      writeIndent();
      const std::string key = member.name();
      appendQuoted(text_, key.data(), key.data() + key.size());
      text_ += " : ";
      writeValue(*member);
      if (++member != object.end()) text_ += ',';
    }
    unindent();
    writeWithIndent("}");
  }

  void writeArray(const Json::Value& array) {
    const Json::ArrayIndex size = array.size();
    std::vector<std::string> pieces;
    if (!fitsOnOneLine(array, pieces)) {
      writeWithIndent("[");
      indent();
      for (Json::ArrayIndex index = 0; index < size; ++index) {
        if (!pieces.empty()) {
          writeWithIndent(pieces[index]);
        } else {
          writeIndent();
          writeValue(array[index]);
        }
        if (index + 1 < size) text_ += ',';
      }
      unindent();
      writeWithIndent("]");
      return;
    }
    text_ += "[ ";
    for (Json::ArrayIndex index = 0; index < size; ++index) {
      if (index > 0) text_ += ", ";
      text_ += pieces[index];
    }
    text_ += " ]";
  }

  // StyledWriter keeps an array on one line when it has fewer than 25
  // elements, none of them a non-empty container, and "[ a, b ]" stays
  // within the right margin. Where the elements were rendered to decide,
  // they are left in `pieces` for reuse.
  static bool fitsOnOneLine(const Json::Value& array,
                            std::vector<std::string>& pieces) {
    const Json::ArrayIndex size = array.size();
    if (size * 3 >= kRightMargin) return false;
    for (Json::ArrayIndex index = 0; index < size; ++index) {
      if (isNonEmptyContainer(array[index])) return false;
    }
    size_t lineLength = 4 + (size - 1) * 2;
    pieces.reserve(size);
    for (Json::ArrayIndex index = 0; index < size; ++index) {
      pieces.push_back(scalarText(array[index]));
      lineLength += pieces.back().size();
    }
    return lineLength < kRightMargin;
  }

  // Starts a new line at the current indentation, unless the text already
  // ends in a space (after " : " or a fresh indentation).
  void writeIndent() {
    if (!text_.empty()) {
      const char last = text_.back();
      if (last == ' ') return;
      if (last != '\n') text_ += '\n';
    }
    text_ += indentation_;
  }

  void writeWithIndent(const std::string& piece) {
    writeIndent();
    text_ += piece;
  }

  void indent() { indentation_ += kIndentUnit; }
  void unindent() { indentation_.resize(indentation_.size() - 3); }

  std::string text_;
  std::string indentation_;
};

}  // namespace

std::string renderCameraReport(const Json::Value& root) {
  return StyledText().render(root);
}
