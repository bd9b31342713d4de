// parseDeviceIds and cutAfterKey on any text: they never fail, and every
// value is a piece of the text that starts right behind the first
// occurrence of its key and stops at the first terminator after it.

#include <cstdint>

#include "discovery/device_ids.h"
#include "fuzz_text.h"

namespace {

// Where `key` first occurs in `text`, by plain comparison, or npos.
size_t firstOccurrence(const std::u16string& text, const std::u16string& key) {
  if (key.size() > text.size()) return std::u16string::npos;
  for (size_t at = 0; at + key.size() <= text.size(); ++at) {
    if (std::equal(key.begin(), key.end(),
                   text.begin() + static_cast<long>(at))) {
      return at;
    }
  }
  return std::u16string::npos;
}

void checkCut(const std::u16string& text, const std::u16string& key,
              const std::u16string& terminator) {
  const std::optional<std::u16string> value =
      cutAfterKey(text, key, terminator);
  const size_t keyAt = firstOccurrence(text, key);
  FUZZ_CHECK(value.has_value() == (keyAt != std::u16string::npos));
  if (!value) return;
  const size_t start = keyAt + key.size();
  FUZZ_CHECK(text.compare(start, value->size(), *value) == 0);
  // The value holds no terminator, and a terminator or the end follows it.
  if (!terminator.empty()) {
    FUZZ_CHECK(firstOccurrence(*value, terminator) == std::u16string::npos);
  }
  const size_t after = start + value->size();
  FUZZ_CHECK(after == text.size() ||
             text.compare(after, terminator.size(), terminator) == 0);
}

// The id is empty, or the cut behind one of the rules' keys.
void checkId(
    const std::u16string& text, const std::u16string& id,
    std::initializer_list<std::pair<const char16_t*, const char16_t*>> rules) {
  bool anyKey = false;
  for (const auto& [key, terminator] : rules) {
    const size_t keyAt = firstOccurrence(text, key);
    if (keyAt == std::u16string::npos) continue;
    // The first rule whose key occurs decides.
    FUZZ_CHECK(id == *cutAfterKey(text, key, terminator));
    anyKey = true;
    break;
  }
  if (!anyKey) FUZZ_CHECK(id.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First byte: lengths of key and terminator taken from the text's start.
  const size_t keyLength = data[0] % 5;
  const size_t terminatorLength = data[1] % 3;
  const std::u16string text = unitsOf(data + 2, size - 2);
  const std::u16string key = text.substr(0, keyLength);
  const std::u16string terminator = text.substr(
      keyLength < text.size() ? keyLength : text.size(), terminatorLength);
  if (!key.empty()) checkCut(text, key, terminator);

  const DeviceIds ids = parseDeviceIds(text);
  checkId(text, ids.vid, {{u"vid_", u"&"}, {u"ven_", u"&"}, {u"int", u"#"}});
  checkId(text, ids.pid, {{u"pid_", u"&"}, {u"dev_", u"&"}, {u"uid", u"#"}});
  return 0;
}
