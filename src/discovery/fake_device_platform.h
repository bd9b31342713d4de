#ifndef CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_platform.h"

/// One device of the fake video-input category; a missing text is a display
/// name the platform does not give, or a property whose read fails.
struct FakeDevice {
  std::optional<std::u16string> displayName, description, friendlyName;
};

inline constexpr PlatformStatus kStatusFail = -2147467259;  // E_FAIL

/// DirectShow as a list of devices. It fails the calls a test names, and
/// checks that COM is started first and ended last, once, that everything it
/// hands out comes back exactly once, and that values are initialised before
/// use. Like the real property bag, a read into a value that holds a string
/// overwrites it without freeing it. Giving things back allocates nothing,
/// so a test may fail any allocation of a run.
class FakeDevicePlatform final : public DevicePlatform {
 public:
  explicit FakeDevicePlatform(std::vector<FakeDevice> devices)
      : devices_(std::move(devices)), held_(16 * (devices_.size() + 1)) {
    for (auto op : {"Init", "Create", "Class", "Next", "Bind", "Name", "Read"})
      calls_[op] = 0;
  }

  std::map<std::string, PlatformStatus> statuses;  ///< "Next#2" -> S_FALSE

  /// Empty when the platform was used as COM must be.
  std::string unclean() const {
    std::string problems = misuse_ + (com_ == 2 ? "" : " COM not ended;");
    for (size_t handle = 0; handle < held_.size(); ++handle) {
      if (held_[handle] != 0) {
        problems += " kind " + std::to_string(handle % 16) + " of device " +
                    std::to_string(handle / 16) + " held " +
                    std::to_string(held_[handle]) + ";";
      }
    }
    return problems;
  }

  PlatformStatus initializeCom() override {
    if (com_++ != 0) misuse_ += " COM started twice or late;";
    return call("Init", 0);
  }
  void uninitializeCom() override {
    if (com_++ != 1) misuse_ += " COM ended twice or early;";
  }
  PlatformStatus createDeviceEnumerator(ComObject* out) override {
    const PlatformStatus status = call("Create", 0);
    return hand(out, status >= 0, kDeviceEnumerator, 0), status;
  }
  PlatformStatus createVideoInputEnumerator(ComObject,
                                            ComObject* out) override {
    // Like DirectShow: an empty category gives S_FALSE and no enumerator.
    const PlatformStatus status = call("Class", devices_.empty());
    return hand(out, status == 0, kClassEnumerator, 0), status;
  }
  PlatformStatus nextMoniker(ComObject, ComObject* out) override {
    const size_t device = fetched_ < devices_.size() ? ++fetched_ : 0;
    const PlatformStatus status = call("Next", device == 0);
    return hand(out, status == 0 && device, kMoniker, device), status;
  }
  PlatformStatus bindToPropertyBag(ComObject moniker, ComObject* out) override {
    const size_t device = deviceOf(moniker);
    const PlatformStatus status = call("Bind", 0);
    return hand(out, status >= 0, kBag, device), status;
  }
  PlatformStatus getDisplayName(ComObject moniker, PlatformText* out) override {
    const size_t device = deviceOf(moniker);
    const PlatformStatus status = call("Name", 0);
    const bool has = status >= 0 && devices_[device - 1].displayName;
    return hand(out, has, kText, device), status;
  }
  void release(ComObject object) override { giveBack(object); }
  std::u16string copyText(PlatformText text) override {
    return text ? *devices_[deviceOf(text) - 1].displayName : u"";
  }
  void freeText(PlatformText text) override { giveBack(text); }

  void initValue(PropertyValue* value) override { store(value, nullptr); }
  PlatformStatus readProperty(ComObject bag, const std::u16string& name,
                              PropertyValue* value) override {
    const size_t device = deviceOf(bag);
    const size_t kind = name == u"FriendlyName" ? kFriendlyName : kDescription;
    if (value->storage[0] != kMark) misuse_ += " Read into a raw value;";
    const bool has = text(kind, device).has_value();
    const PlatformStatus status = call("Read", has ? 0 : kStatusFail);
    if (status < 0 || !has) return std::min(status, kStatusFail);
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
    if (string != nullptr) giveBack(string);
    store(value, nullptr);
  }

 private:
  // A handle tells what it is and of which device: 16 * device + kind + 1.
  static constexpr size_t kDeviceEnumerator = 0, kClassEnumerator = 1,
                          kMoniker = 2, kBag = 3, kText = 4, kDescription = 5,
                          kFriendlyName = 6;
  static constexpr unsigned char kMark = 0xA5;  // an initialised value
  static size_t indexOf(void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle) - 1;
  }
  static size_t kindOf(void* handle) { return indexOf(handle) % 16; }
  static size_t deviceOf(void* handle) { return indexOf(handle) / 16; }
  const std::optional<std::u16string>& text(size_t kind, size_t device) const {
    const FakeDevice& fake = devices_[device - 1];
    return kind == kFriendlyName ? fake.friendlyName : fake.description;
  }
  static void store(PropertyValue* value, void* string) {
    value->storage[0] = kMark;
    std::memcpy(value->storage + 8, &string, sizeof string);
  }

  // Returns the status a test set for this call of the operation ("Next#2"),
  // or else `normal`.
  PlatformStatus call(const char* op, PlatformStatus normal) {
    if (com_ != 1) misuse_ += std::string(" ") + op + " outside COM;";
    const auto set = statuses.find(op + ("#" + std::to_string(++calls_[op])));
    return set == statuses.end() ? normal : set->second;
  }
  void hand(void** out, bool gives, size_t kind, size_t device) {
    *out = gives ? reinterpret_cast<void*>(16 * device + kind + 1) : nullptr;
    if (gives) ++held_[indexOf(*out)];
  }
  // A count below zero shows a handle given back twice.
  void giveBack(void* handle) { --held_[indexOf(handle)]; }

  std::vector<FakeDevice> devices_;
  std::map<std::string, int> calls_;
  std::vector<int> held_;  // references held, by handle index
  std::string misuse_;
  int com_ = 0;  // 0 before COM, 1 in it, 2 after
  size_t fetched_ = 0;
};

#endif  // CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
