#ifndef CAMERA_INFO_DISCOVERY_SCRIPTED_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_SCRIPTED_DEVICE_PLATFORM_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "discovery/device_platform.h"

/// Common failure statuses, as the platform defines them.
inline constexpr PlatformStatus kStatusFail =
    static_cast<PlatformStatus>(0x80004005u);  // E_FAIL
inline constexpr PlatformStatus kStatusOutOfMemory =
    static_cast<PlatformStatus>(0x8007000Eu);  // E_OUTOFMEMORY
inline constexpr PlatformStatus kStatusFileNotFound =
    static_cast<PlatformStatus>(
        0x80070002u);  // HRESULT of ERROR_FILE_NOT_FOUND

/// One device of the scripted video-input category.
struct ScriptedDevice {
  /// Null: GetDisplayName hands out no text.
  std::optional<std::u16string> displayName = std::u16string();
  /// Null: reading the property fails as for a missing registry value.
  std::optional<std::u16string> description;
  std::optional<std::u16string> friendlyName;
};

/// The operations a script can make fail, by their platform names.
enum class ScriptedOperation {
  kCoInitialize,
  kCoCreateInstance,
  kCreateClassEnumerator,
  kNext,
  kBindToStorage,
  kGetDisplayName,
  kRead,
};

/// A fake DirectShow that presents any list of devices, fails any operation
/// on request, records every call in order and keeps account of every
/// reference, text and property value it hands out, so that tests can check
/// what the enumeration did and that it gave everything back.
///
/// Like the real property bag, a successful Read into a value that already
/// holds a string overwrites it without freeing it; such a lost string shows
/// up in `liveValueStrings()`.
class ScriptedDevicePlatform final : public DevicePlatform {
 public:
  explicit ScriptedDevicePlatform(std::vector<ScriptedDevice> devices = {});

  /// Makes the `occurrence`-th call (1-based) of `operation` return
  /// `status`. A negative status gives nothing out; a non-negative one still
  /// hands out what the call normally would, so the caller must give it back.
  void failCall(ScriptedOperation operation, int occurrence,
                PlatformStatus status);

  /// Every call so far, e.g. "Read(2, FriendlyName)" or "Release(moniker 2)".
  const std::vector<std::string>& calls() const { return calls_; }
  /// The calls minus VariantInit, VariantClear and the text copies.
  std::vector<std::string> comCalls() const;
  /// How often a call with exactly this text was made.
  int countCalls(const std::string& call) const;

  /// What keeps the calls so far from being a clean, finished enumeration:
  /// COM not started and ended exactly once with CoUninitialize last, a
  /// reference, text or string not given back, or a misuse. Empty if clean.
  std::vector<std::string> cleanEndProblems() const;

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
  struct Object {
    std::string label;  // "device enumerator", "moniker 2", ...
    int device = 0;     // 1-based device number for monikers and bags
  };

  std::optional<PlatformStatus> injectedStatus(ScriptedOperation operation);
  ComObject handOut(std::string label, int device = 0);
  const Object* find(ComObject object, const std::string& labelPrefix,
                     const char* call);
  void record(std::string call) { calls_.push_back(std::move(call)); }

  std::vector<ScriptedDevice> devices_;
  size_t nextDevice_ = 0;
  std::map<std::pair<ScriptedOperation, int>, PlatformStatus> failures_;
  std::map<ScriptedOperation, int> callCounts_;
  std::vector<std::string> calls_;
  std::vector<std::string> misuses_;
  std::uintptr_t nextHandle_ = 0x1000;
  std::map<std::uintptr_t, Object> objects_;
  std::map<std::uintptr_t, std::u16string> texts_;
  std::map<std::uint32_t, std::u16string> valueStrings_;
  std::uint32_t nextValueString_ = 1;
};

std::string toAscii(const std::u16string& text);

#endif  // CAMERA_INFO_DISCOVERY_SCRIPTED_DEVICE_PLATFORM_H_
