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

/// One device of the fake video-input category; a null text is missing
/// (no display name, or a property whose read fails).
struct FakeDevice {
  std::optional<std::u16string> displayName, description, friendlyName;
};

inline constexpr PlatformStatus kStatusFail =
    static_cast<PlatformStatus>(0x80004005u);  // E_FAIL

/// DirectShow as a list of devices. It logs the calls, keeps account of
/// every object, text and string it hands out, and fails or throws where a
/// test asks it to. Like the real property bag, a read into a value that
/// holds a string overwrites it without freeing it. The calls that give
/// things back allocate nothing, so a test may fail any allocation of a run.
class FakeDevicePlatform final : public DevicePlatform {
 public:
  explicit FakeDevicePlatform(std::vector<FakeDevice> devices)
      : devices_(std::move(devices)) {
    log.reserve(1 << 16);
    for (auto op : {"Init", "Create", "Class", "Next", "Bind", "Name", "Read"})
      counts_[op] = 0;
  }

  /// The calls so far: "Init Create Class Next Bind1 Name1 Free Read1D ...".
  std::string log;
  /// Status of the n-th call of an operation, keyed "Next#2", "Read#3".
  std::map<std::string, PlatformStatus> statuses;
  /// The call that throws std::bad_alloc, as "Bind#2".
  std::string throwAt;

  /// Empty when COM was started first and ended last, once each, and
  /// everything handed out was given back.
  std::string unclean() const {
    std::string problems = misuse_;
    if (log.rfind("Init", 0) != 0 || log.find("Init", 1) != std::string::npos ||
        log.find(" Uninit") + 7 != log.size())
      problems += " COM not started first and ended last, once each;";
    for (const auto& entry : live_) problems += " kept " + entry.second + ";";
    if (!strings_.empty()) problems += " kept a property string;";
    return problems;
  }

  PlatformStatus initializeCom() override {
    return give(nullptr, "Init", 0, 0);
  }
  void uninitializeCom() override { log += " Uninit"; }
  PlatformStatus createDeviceEnumerator(ComObject* out) override {
    return give(out, "Create", 0, 0, "device enumerator");
  }
  PlatformStatus createVideoInputEnumerator(ComObject,
                                            ComObject* out) override {
    // Like DirectShow: an empty category gives S_FALSE and no enumerator.
    return give(out, "Class", 0, devices_.empty(), "class enumerator", true);
  }
  PlatformStatus nextMoniker(ComObject, ComObject* out) override {
    if (*out != nullptr) misuse_ += " Next into a full slot;";
    const bool end = fetched_ == devices_.size();
    return give(out, "Next", end ? 0 : ++fetched_, end, "moniker", true);
  }
  PlatformStatus bindToPropertyBag(ComObject moniker, ComObject* out) override {
    return give(out, "Bind", device(moniker), 0, "bag");
  }
  PlatformStatus getDisplayName(ComObject moniker, PlatformText* out) override {
    const size_t number = device(moniker);
    const bool has = number > 0 && devices_[number - 1].displayName;
    return give(out, "Name", number, 0, has ? "text" : "");
  }
  void release(ComObject object) override { giveBack(object, " Release"); }
  std::u16string copyText(PlatformText text) override {
    return text ? *devices_[device(text) - 1].displayName : u"";
  }
  void freeText(PlatformText text) override { giveBack(text, " Free"); }

  void initValue(PropertyValue* value) override { store(value, nullptr); }
  PlatformStatus readProperty(ComObject bag, const std::u16string& name,
                              PropertyValue* value) override {
    const bool friendly = name == u"FriendlyName";
    if (!friendly && name != u"Description")
      misuse_ += " Read of another name;";
    if (load(*value).mark != kMark) misuse_ += " Read into a raw value;";
    const size_t number = device(bag);
    if (number == 0) return kStatusFail;
    const auto& text = friendly ? devices_[number - 1].friendlyName
                                : devices_[number - 1].description;
    const PlatformStatus status =
        give(nullptr, "Read", number, text ? 0 : kStatusFail, "", false,
             friendly ? "F" : "D");
    if (status >= 0 && text) {
      void* string = reinterpret_cast<void*>(16 * ++handed_);
      strings_.emplace(string, *text);
      store(value, string);
    }
    return status;
  }
  std::u16string valueText(const PropertyValue& value, size_t most) override {
    const auto found = strings_.find(load(value).string);
    if (found == strings_.end()) return {};
    return found->second.substr(0, std::min(found->second.find(u'\0'), most));
  }
  void clearValue(PropertyValue* value) override {
    if (load(*value).mark != kMark) misuse_ += " VariantClear of a raw value;";
    strings_.erase(load(*value).string);
    store(value, nullptr);
  }

 private:
  struct Value {
    std::uint32_t mark;
    ComObject string;
  };
  static constexpr std::uint32_t kMark = 0x56415231;
  static Value load(const PropertyValue& value) {
    Value loaded;
    std::memcpy(&loaded, value.storage, sizeof loaded);
    return loaded;
  }
  static void store(PropertyValue* value, ComObject string) {
    const Value stored{kMark, string};
    std::memcpy(value->storage, &stored, sizeof stored);
  }

  // Logs the call (with its device's number) and takes its status, the
  // scripted one or `normal`. Where that status hands something out (only
  // S_OK does, with `onlyOk`) and there is a `label`, puts a new object so
  // labelled into `out`.
  PlatformStatus give(void** out, const char* op, size_t number,
                      PlatformStatus normal, const char* label = "",
                      bool onlyOk = false, const char* suffix = "") {
    const std::string device = number ? std::to_string(number) : "";
    const std::string key = op + ("#" + std::to_string(++counts_[op]));
    log.append(log.empty() ? "" : " ").append(op + device + suffix);
    if (key == throwAt) throw std::bad_alloc();
    const auto scripted = statuses.find(key);
    const PlatformStatus status =
        scripted == statuses.end() ? normal : scripted->second;
    if (out == nullptr) return status;
    *out = nullptr;
    if ((onlyOk ? status == 0 : status >= 0) && *label != '\0') {
      void* object = reinterpret_cast<void*>(16 * ++handed_);
      live_.emplace(object, label + device);
      *out = object;
    }
    return status;
  }
  void giveBack(void* object, const char* call) {
    const auto found = live_.find(object);
    log.append(call).append(":").append(
        found == live_.end() ? "?" : found->second.c_str());
    if (found == live_.end())
      misuse_ += " given back twice;";
    else
      live_.erase(found);
  }
  size_t device(void* object) {
    const auto found = live_.find(object);
    if (found == live_.end()) return misuse_ += " used after release;", 0;
    return std::stoul(
        "0" + found->second.substr(found->second.find_first_of("0123456789")));
  }

  std::vector<FakeDevice> devices_;
  std::map<std::string, int> counts_;
  std::map<void*, std::string> live_;  // objects and texts
  std::map<void*, std::u16string> strings_;
  std::string misuse_;
  std::uintptr_t handed_ = 0;
  size_t fetched_ = 0;
};

#endif  // CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
