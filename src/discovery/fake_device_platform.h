#ifndef CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_platform.h"

/// One device of the fake video-input category; a null text is missing
/// (no display name, or a property whose read fails).
struct FakeDevice {
  std::optional<std::u16string> displayName, description, friendlyName;
};

inline constexpr PlatformStatus kStatusFail = -2147467259;  // E_FAIL

/// DirectShow as a list of devices. It logs the calls, counts the objects,
/// texts and strings it hands out and gets back, and fails where a test asks
/// it to. Like the real property bag, a read into a value that
/// holds a string overwrites it without freeing it. The calls that give
/// things back allocate nothing, so a test may fail any allocation of a run.
class FakeDevicePlatform final : public DevicePlatform {
 public:
  explicit FakeDevicePlatform(std::vector<FakeDevice> devices)
      : devices_(std::move(devices)) {
    log.reserve(1 << 16);
    for (auto op : {"Init", "Create", "Class", "Next", "Bind", "Name", "Read"})
      calls_[op] = 0;
  }

  std::string log;  ///< "Init Create Class Next1 Bind1 Name1 Free:text1 ..."
  std::map<std::string, PlatformStatus> statuses;  ///< "Next#2" -> S_FALSE

  /// Empty when COM was started first and ended last, once, and everything
  /// handed out was given back exactly once.
  std::string unclean() const {
    std::string problems = misuse_;
    if (log.rfind("Init", 0) != 0 || log.find(" Uninit") + 7 != log.size())
      problems += " COM not started first and ended last, once;";
    for (const auto& [object, held] : held_)
      if (held != 0) label(problems += " kept ", object);
    return problems;
  }

  PlatformStatus initializeCom() override { return call("Init", 0, 0); }
  void uninitializeCom() override { log += " Uninit"; }
  PlatformStatus createDeviceEnumerator(ComObject* out) override {
    const PlatformStatus status = call("Create", 0, 0);
    return hand(out, status >= 0, kDeviceEnumerator, 0), status;
  }
  PlatformStatus createVideoInputEnumerator(ComObject,
                                            ComObject* out) override {
    // Like DirectShow: an empty category gives S_FALSE and no enumerator.
    const PlatformStatus status = call("Class", 0, devices_.empty());
    return hand(out, status == 0, kClassEnumerator, 0), status;
  }
  PlatformStatus nextMoniker(ComObject, ComObject* out) override {
    const size_t device = fetched_ < devices_.size() ? ++fetched_ : 0;
    const PlatformStatus status = call("Next", device, device == 0);
    return hand(out, status == 0 && device, kMoniker, device), status;
  }
  PlatformStatus bindToPropertyBag(ComObject moniker, ComObject* out) override {
    const size_t device = deviceOf(moniker);
    const PlatformStatus status = call("Bind", device, 0);
    return hand(out, status >= 0, kBag, device), status;
  }
  PlatformStatus getDisplayName(ComObject moniker, PlatformText* out) override {
    const size_t device = deviceOf(moniker);
    const PlatformStatus status = call("Name", device, 0);
    const bool has = status >= 0 && devices_[device - 1].displayName;
    return hand(out, has, kText, device), status;
  }
  void release(ComObject object) override { giveBack(object, " Release:"); }
  std::u16string copyText(PlatformText text) override {
    return text ? *devices_[deviceOf(text) - 1].displayName : u"";
  }
  void freeText(PlatformText text) override { giveBack(text, " Free:"); }

  void initValue(PropertyValue* value) override { store(value, nullptr); }
  PlatformStatus readProperty(ComObject bag, const std::u16string& name,
                              PropertyValue* value) override {
    const size_t device = deviceOf(bag);
    const size_t kind = name == u"FriendlyName" ? kFriendlyName : kDescription;
    if (value->storage[0] != kMark) misuse_ += " Read into a raw value;";
    const PlatformStatus status =
        call("Read", device, text(kind, device) ? 0 : kStatusFail);
    log += kind == kFriendlyName ? "F" : "D";
    if (status < 0 || !text(kind, device)) return std::min(status, kStatusFail);
    void* string = nullptr;  // what the value held before is lost
    hand(&string, true, kind, device);
    return store(value, string), status;
  }
  std::u16string valueText(const PropertyValue& value, size_t most) override {
    void* string = nullptr;
    std::memcpy(&string, value.storage + 8, sizeof string);
    if (string == nullptr) return {};
    const std::u16string& whole = *text(kindOf(string), deviceOf(string));
    return whole.substr(0, std::min(whole.find(u'\0'), most));
  }
  void clearValue(PropertyValue* value) override {
    if (value->storage[0] != kMark) misuse_ += " VariantClear of a raw value;";
    void* string = nullptr;
    std::memcpy(&string, value->storage + 8, sizeof string);
    if (string != nullptr) giveBack(string, "");
    store(value, nullptr);
  }

 private:
  // A handle tells what it is (the index of its label) and of which device.
  static constexpr size_t kDeviceEnumerator = 0, kClassEnumerator = 1,
                          kMoniker = 2, kBag = 3, kText = 4, kDescription = 5,
                          kFriendlyName = 6;
  static constexpr unsigned char kMark = 0xA5;  // an initialised value
  static size_t kindOf(void* handle) {
    return (reinterpret_cast<std::uintptr_t>(handle) - 1) % 16;
  }
  static size_t deviceOf(void* handle) {
    return (reinterpret_cast<std::uintptr_t>(handle) - 1) / 16;
  }
  // Appends, without allocating, what the handle is: "moniker2".
  static std::string& label(std::string& out, void* handle) {
    static const char* const kLabels[] = {
        "device enumerator", "class enumerator", "moniker", "bag", "text",
        "stringD",           "stringF"};
    char number[24] = "";
    if (deviceOf(handle)) std::to_chars(number, number + 23, deviceOf(handle));
    return out.append(kLabels[kindOf(handle)]).append(number);
  }
  const std::optional<std::u16string>& text(size_t kind, size_t device) const {
    const FakeDevice& fake = devices_[device - 1];
    return kind == kFriendlyName ? fake.friendlyName : fake.description;
  }
  static void store(PropertyValue* value, void* string) {
    value->storage[0] = kMark;
    std::memcpy(value->storage + 8, &string, sizeof string);
  }

  // Logs the call with its device's number; returns the scripted status of
  // this call of the operation, or else `normal`.
  PlatformStatus call(const char* op, size_t device, PlatformStatus normal) {
    const std::string key = op + ("#" + std::to_string(++calls_[op]));
    log.append(log.empty() ? "" : " ").append(op);
    if (device) log += std::to_string(device);
    const auto scripted = statuses.find(key);
    return scripted == statuses.end() ? normal : scripted->second;
  }
  void hand(void** out, bool gives, size_t kind, size_t device) {
    void* handle = reinterpret_cast<void*>(16 * device + kind + 1);
    *out = nullptr;
    if (gives) ++held_[handle], *out = handle;
  }
  // A count below zero shows a handle given back twice, or never handed out.
  void giveBack(void* handle, const char* logged) {
    --held_[handle];
    if (*logged != '\0') label(log.append(logged), handle);
  }

  std::vector<FakeDevice> devices_;
  std::map<std::string, int> calls_;
  std::map<void*, int> held_;  // handle -> references held
  std::string misuse_;
  size_t fetched_ = 0;
};

#endif  // CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
