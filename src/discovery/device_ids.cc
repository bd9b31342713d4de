#include "discovery/device_ids.h"

namespace {

struct CutRule {
  const char16_t* key;
  const char16_t* terminator;
};

// Order matters: the first rule whose key occurs wins, wherever it stands.
constexpr CutRule kVendorRules[] = {
    {u"vid_", u"&"}, {u"ven_", u"&"}, {u"int", u"#"}};
constexpr CutRule kProductRules[] = {
    {u"pid_", u"&"}, {u"dev_", u"&"}, {u"uid", u"#"}};

template <size_t N>
std::u16string applyFirstMatchingRule(const std::u16string& text,
                                      const CutRule (&rules)[N]) {
  for (const CutRule& rule : rules) {
    if (std::optional<std::u16string> value =
            cutAfterKey(text, rule.key, rule.terminator)) {
      return std::move(*value);
    }
  }
  return {};
}

}  // namespace

std::optional<std::u16string> cutAfterKey(const std::u16string& text,
                                          const std::u16string& key,
                                          const std::u16string& terminator) {
  const size_t keyAt = text.find(key);
  if (keyAt == std::u16string::npos) return std::nullopt;
  const size_t restAt = keyAt + key.size();
  // Only the rest is searched, so a terminator before the key never counts.
  const size_t terminatorAt = text.find(terminator, restAt);
  if (terminatorAt == std::u16string::npos) return text.substr(restAt);
  return text.substr(restAt, terminatorAt - restAt);
}

DeviceIds parseDeviceIds(const std::u16string& displayName) {
  DeviceIds ids;
  ids.vid = applyFirstMatchingRule(displayName, kVendorRules);
  ids.pid = applyFirstMatchingRule(displayName, kProductRules);
  return ids;
}
