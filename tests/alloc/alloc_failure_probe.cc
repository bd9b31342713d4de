// Runs the whole program with its k-th memory allocation failing.
//
//   alloc_failure_probe K COUNT_FILE
//
// With K = 0 nothing fails, and the number of allocations the run made is
// written to COUNT_FILE. The exit status is the run's own (0), or 3 when the
// run left a platform resource unbalanced. The run's platform is a fixed one
// that allocates nothing itself, so every counted allocation is the
// program's.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/run.h"
#include "discovery/device_platform.h"

// GCC pairs the replaced operator delete's free() with the library's new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

bool armed = false;
long allocations = 0;
long failAt = 0;

struct FixedDevice {
  const char16_t* displayName;
  const char16_t* description;  // null: the read fails
  const char16_t* friendlyName;
};

const FixedDevice kDevices[] = {
    {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"USB Video",
     u"HD Webcam C270"},
    {u"sw#nameless", nullptr, nullptr},
    {u"display#int3470#4&1835d135&0&uid13424#global",
     u"Integrated Camera \u00e9\u4e2d", nullptr},
};
constexpr int kDeviceCount = 3;

// Objects are the addresses of counters: enumerators, monikers and bags.
class FixedDevicePlatform final : public DevicePlatform {
 public:
  int initializations = 0;
  int uninitializations = 0;
  int liveObjects = 0;
  int liveTexts = 0;
  int liveStrings = 0;

  PlatformStatus initializeCom() override {
    ++initializations;
    return kStatusOk;
  }
  void uninitializeCom() override { ++uninitializations; }
  PlatformStatus createDeviceEnumerator(ComObject* object) override {
    return handOut(object, &next_);
  }
  PlatformStatus createVideoInputEnumerator(ComObject,
                                            ComObject* object) override {
    return handOut(object, &next_);
  }
  PlatformStatus nextMoniker(ComObject, ComObject* moniker) override {
    if (next_ == kDeviceCount) {
      *moniker = nullptr;
      return kStatusFalse;
    }
    return handOut(moniker, &kDevices[next_++]);
  }
  PlatformStatus bindToPropertyBag(ComObject moniker, ComObject* bag) override {
    return handOut(bag, moniker);
  }
  PlatformStatus getDisplayName(ComObject moniker,
                                PlatformText* text) override {
    ++liveTexts;
    *text = const_cast<char16_t*>(device(moniker)->displayName);
    return kStatusOk;
  }
  void release(ComObject) override { --liveObjects; }
  std::u16string copyText(PlatformText text) override {
    return text == nullptr ? u"" : static_cast<const char16_t*>(text);
  }
  void freeText(PlatformText) override { --liveTexts; }
  void initValue(PropertyValue* value) override { setValue(value, nullptr); }
  PlatformStatus readProperty(ComObject bag, const std::u16string& name,
                              PropertyValue* value) override {
    const FixedDevice* fixed = device(bag);
    const char16_t* text =
        name == u"Description" ? fixed->description : fixed->friendlyName;
    if (text == nullptr) return static_cast<PlatformStatus>(0x80070002u);
    // Like the platform: a new string, and any string held before is lost.
    ++liveStrings;
    setValue(value, text);
    return kStatusOk;
  }
  std::u16string valueText(const PropertyValue& value,
                           size_t maxUnits) override {
    const char16_t* text = getValue(value);
    if (text == nullptr) return {};
    std::u16string copy(text);
    if (copy.size() > maxUnits) copy.resize(maxUnits);
    return copy;
  }
  void clearValue(PropertyValue* value) override {
    if (getValue(*value) != nullptr) --liveStrings;
    setValue(value, nullptr);
  }

 private:
  PlatformStatus handOut(ComObject* slot, const void* object) {
    ++liveObjects;
    *slot = const_cast<void*>(object);
    return kStatusOk;
  }
  static const FixedDevice* device(ComObject object) {
    return static_cast<const FixedDevice*>(object);
  }
  static void setValue(PropertyValue* value, const char16_t* text) {
    std::memcpy(value->storage, &text, sizeof text);
  }
  static const char16_t* getValue(const PropertyValue& value) {
    const char16_t* text = nullptr;
    std::memcpy(&text, value.storage, sizeof text);
    return text;
  }

  int next_ = 0;
};

}  // namespace

void* operator new(size_t size) {
  if (armed && ++allocations == failAt) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  failAt = std::strtol(argv[1], nullptr, 10);
  FixedDevicePlatform platform;

  armed = true;
  const int status = runCameraInfo(platform);
  armed = false;

  if (failAt == 0) {
    FILE* count = std::fopen(argv[2], "w");
    if (count == nullptr) return 2;
    std::fprintf(count, "%ld\n", allocations);
    std::fclose(count);
  }
  const bool balanced = platform.initializations == 1 &&
                        platform.uninitializations == 1 &&
                        platform.liveObjects == 0 && platform.liveTexts == 0 &&
                        platform.liveStrings == 0;
  return balanced ? status : 3;
}
