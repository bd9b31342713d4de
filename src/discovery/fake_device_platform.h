#ifndef CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_

#include <cstdint>
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

inline constexpr PlatformStatus kStatusFail =
    static_cast<PlatformStatus>(0x80004005u);  // E_FAIL

/// DirectShow as a list of devices. It logs every call, keeps account of
/// every object, text and string it hands out, and fails or throws where a
/// test asks it to. Like the real property bag, a read into a value that
/// holds a string overwrites it without freeing it.
class FakeDevicePlatform final : public DevicePlatform {
 public:
  // The calls that give things back allocate nothing (the log has room), so
  // that a test may make any allocation of a run fail.
  explicit FakeDevicePlatform(std::vector<FakeDevice> devices)
      : devices_(std::move(devices)) {
    log.reserve(1 << 16);
    for (const char* operation :
         {"Init", "Create", "Class", "Next", "Bind", "Name", "Read"}) {
      counts_[operation] = 0;
    }
  }

  /// Calls so far, e.g. "Init Create Class Next Bind1 Name1 Free1 ...".
  std::string log;
  /// Status for the n-th call of an operation, keyed "Next#2", "Read#3".
  std::map<std::string, PlatformStatus> statuses;
  /// The call at which std::bad_alloc is thrown, e.g. "Bind#2".
  std::string throwAt;

  /// Empty when COM was started and ended once, CoUninitialize came last,
  /// everything handed out was given back and nothing was misused.
  std::string unclean() const;

  PlatformStatus initializeCom() override;
  void uninitializeCom() override;
  PlatformStatus createDeviceEnumerator(ComObject* deviceEnumerator) override;
  PlatformStatus createVideoInputEnumerator(
      ComObject deviceEnumerator, ComObject* classEnumerator) override;
  PlatformStatus nextMoniker(ComObject classEnumerator,
                             ComObject* moniker) override;
  PlatformStatus bindToPropertyBag(ComObject moniker,
                                   ComObject* propertyBag) override;
  PlatformStatus getDisplayName(ComObject moniker,
                                PlatformText* displayName) override;
  void release(ComObject object) override;
  std::u16string copyText(PlatformText text) override;
  void freeText(PlatformText text) override;
  void initValue(PropertyValue* value) override;
  PlatformStatus readProperty(ComObject propertyBag, const std::u16string& name,
                              PropertyValue* value) override;
  std::u16string valueText(const PropertyValue& value,
                           size_t maxUnits) override;
  void clearValue(PropertyValue* value) override;

 private:
  PlatformStatus call(const std::string& operation, PlatformStatus normal);
  ComObject handOut(const std::string& label);
  int deviceOf(ComObject object, const char* kind);

  std::vector<FakeDevice> devices_;
  std::map<std::string, int> counts_;
  std::map<ComObject, std::string> live_;  // objects, texts and strings
  std::map<ComObject, std::u16string> strings_;
  std::string misuse_;
  std::uintptr_t handed_ = 0;
  int fetched_ = 0;
};

#endif  // CAMERA_INFO_DISCOVERY_FAKE_DEVICE_PLATFORM_H_
