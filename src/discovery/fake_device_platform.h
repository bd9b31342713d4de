#ifndef CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_platform.h"

/// One device of the fake video-input category; a missing text is a display
/// name the platform does not give, or a property whose read fails. A
/// property that holds a number is read, and gives no text.
struct FakeDevice {
  std::optional<std::u16string> displayName, description, friendlyName;
  bool descriptionIsNumber = false, friendlyNameIsNumber = false;
};

inline constexpr PlatformStatus kStatusFail = -2147467259;  // E_FAIL
/// Set for a call, makes it throw std::bad_alloc, as running out of memory
/// inside the platform would.
inline constexpr PlatformStatus kStatusThrow = INT32_MIN;

/// DirectShow as a list of devices, which fails the calls a test names.
/// Like the real property bag, a read into a value that holds a string
/// overwrites it without freeing it.
class FakeDevicePlatform final : public DevicePlatform {
 public:
  explicit FakeDevicePlatform(std::vector<FakeDevice> devices)
      : devices_(std::move(devices)) {}

  std::map<std::string, PlatformStatus> statuses;  ///< "Next#2" -> S_FALSE

  /// Empty when COM was started first and ended last, once, and everything
  /// handed out came back exactly once.
  std::string unclean() const {
    return misuse_ + (com_ == 2 ? "" : " COM not ended;") +
           (held_ == 0 ? "" : " held " + std::to_string(held_));
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
    return hand(out, status, status >= 0, 0, 0);
  }
  PlatformStatus createVideoInputEnumerator(ComObject,
                                            ComObject* out) override {
    // Like DirectShow: an empty category gives S_FALSE and no enumerator.
    const PlatformStatus status = call("Class", devices_.empty());
    return hand(out, status, status == 0, 0, 0);
  }
  PlatformStatus nextMoniker(ComObject, ComObject* out) override {
    // Anything but S_OK ends the list: a walk that goes on is told so, and
    // fails, rather than looping for ever.
    if (ended_) misuse_ += " Next after the end;";
    const size_t device =
        !ended_ && fetched_ < devices_.size() ? ++fetched_ : 0;
    const PlatformStatus status = ended_ ? kStatusFail : call("Next", !device);
    ended_ = status != 0;
    return hand(out, status, status == 0 && device, device, 0);
  }
  PlatformStatus bindToPropertyBag(ComObject moniker, ComObject* out) override {
    if (!moniker) {
      misuse_ += " Bind without a moniker;";
      return hand(out, kStatusFail, false, 0, 0);
    }
    const PlatformStatus status = call("Bind", 0);
    return hand(out, status, status >= 0, deviceOf(moniker), 0);
  }
  PlatformStatus getDisplayName(ComObject moniker, PlatformText* out) override {
    const size_t device = deviceOf(moniker);
    const PlatformStatus status = call("Name", 0);
    const bool has = status >= 0 && devices_[device - 1].displayName;
    return hand(out, status, has, device, 0);
  }
  void release(ComObject) override { --held_; }
  std::u16string copyText(PlatformText text) override {
    return text ? *devices_[deviceOf(text) - 1].displayName : u"";
  }
  void freeText(PlatformText) override { --held_; }

  void initValue(PropertyValue* value) override { store(value, nullptr); }
  PlatformStatus readProperty(ComObject bag, const std::u16string& name,
                              PropertyValue* value) override {
    const size_t device = deviceOf(bag);
    const bool friendly = name == u"FriendlyName";
    const FakeDevice& fake = devices_[device - 1];
    const bool number =
        friendly ? fake.friendlyNameIsNumber : fake.descriptionIsNumber;
    const bool has = number || text(friendly, device).has_value();
    const PlatformStatus status = call("Read", has ? 0 : kStatusFail);
    if (status < 0 || !has) return std::min(status, kStatusFail);
    void* string = kNumber;  // what the value held before is lost
    if (!number) hand(&string, status, true, device, friendly);
    return store(value, string), status;
  }
  std::u16string valueText(const PropertyValue& value, size_t most) override {
    void* string = nullptr;
    std::memcpy(&string, value.storage, sizeof string);
    if (!holdsString(string)) return {};
    const auto index = reinterpret_cast<std::uintptr_t>(string);
    const std::u16string& whole = *text(index & 1, deviceOf(string));
    return whole.substr(0, std::min(whole.find(u'\0'), most));
  }
  void clearValue(PropertyValue* value) override {
    void* string = nullptr;
    std::memcpy(&string, value->storage, sizeof string);
    if (holdsString(string)) --held_;
    store(value, nullptr);
  }

 private:
  // A handle is 16 * its device's number + 2 + 1 for a FriendlyName string;
  // a value that holds a number holds kNumber, which is no handle.
  static inline void* const kNumber = reinterpret_cast<void*>(1);
  static size_t deviceOf(void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle) / 16;
  }
  static bool holdsString(void* value) {
    return reinterpret_cast<std::uintptr_t>(value) & 2;
  }
  const std::optional<std::u16string>& text(bool friendly,
                                            size_t device) const {
    const FakeDevice& fake = devices_[device - 1];
    return friendly ? fake.friendlyName : fake.description;
  }
  static void store(PropertyValue* value, void* string) {
    std::memcpy(value->storage, &string, sizeof string);
  }
  // Returns the status a test set for this call of the operation ("Next#2"),
  // or else `normal`.
  PlatformStatus call(const char* op, PlatformStatus normal) {
    if (com_ != 1) misuse_ += std::string(" ") + op + " outside COM;";
    const auto set = statuses.find(op + ("#" + std::to_string(++calls_[op])));
    if (set == statuses.end()) return normal;
    if (set->second == kStatusThrow) throw std::bad_alloc();
    return set->second;
  }
  PlatformStatus hand(void** out, PlatformStatus status, bool gives,
                      size_t device, bool friendly) {
    *out =
        gives ? reinterpret_cast<void*>(16 * device + 2 + friendly) : nullptr;
    held_ += gives;
    return status;
  }

  std::vector<FakeDevice> devices_;
  std::map<std::string, int> calls_;
  std::string misuse_;
  int com_ = 0;   // 0 before COM, 1 in it, 2 after
  int held_ = 0;  // handed out and not yet given back
  size_t fetched_ = 0;
  bool ended_ = false;
};

#endif  // CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
