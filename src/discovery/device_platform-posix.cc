// Off Windows there are no DirectShow devices: this stand-in offers a device
// enumerator whose video-input category is empty, so the run goes through
// the same steps and writes a report without cameras.

#include "discovery/device_platform.h"

namespace {

constexpr PlatformStatus kStatusNotImplemented =
    static_cast<PlatformStatus>(0x80004001u);  // E_NOTIMPL

class NoCameraPlatform final : public DevicePlatform {
 public:
  PlatformStatus initializeCom() override { return kStatusOk; }
  void uninitializeCom() override {}

  PlatformStatus createDeviceEnumerator(ComObject* deviceEnumerator) override {
    *deviceEnumerator = &deviceEnumerator_;
    return kStatusOk;
  }
  PlatformStatus createVideoInputEnumerator(
      ComObject, ComObject* classEnumerator) override {
    *classEnumerator = nullptr;
    return kStatusFalse;  // the category holds no device
  }
  PlatformStatus nextMoniker(ComObject, ComObject* moniker) override {
    *moniker = nullptr;
    return kStatusFalse;
  }
  PlatformStatus bindToPropertyBag(ComObject, ComObject* bag) override {
    *bag = nullptr;
    return kStatusNotImplemented;
  }
  PlatformStatus getDisplayName(ComObject, PlatformText* text) override {
    *text = nullptr;
    return kStatusNotImplemented;
  }
  void release(ComObject) override {}

  std::u16string copyText(PlatformText) override { return {}; }
  void freeText(PlatformText) override {}

  void initValue(PropertyValue*) override {}
  PlatformStatus readProperty(ComObject, const std::u16string&,
                              PropertyValue*) override {
    return kStatusNotImplemented;
  }
  std::u16string valueText(const PropertyValue&, size_t) override { return {}; }
  void clearValue(PropertyValue*) override {}

 private:
  int deviceEnumerator_ = 0;  // gives the enumerator a distinct address
};

}  // namespace

DevicePlatform& systemDevicePlatform() {
  static NoCameraPlatform platform;
  return platform;
}
