// COM and DirectShow's system device enumerator, as camera discovery needs
// them. Each operation is one platform call; ownership of what they hand out
// stays with the enumeration logic, which gives it back through release(),
// freeText() and clearValue().

#include <dshow.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "discovery/device_platform.h"

namespace {

static_assert(sizeof(VARIANT) <= sizeof(PropertyValue::storage),
              "PropertyValue must hold a VARIANT");
static_assert(alignof(VARIANT) <= alignof(PropertyValue),
              "PropertyValue must be aligned for a VARIANT");
static_assert(sizeof(PlatformStatus) == sizeof(HRESULT), "HRESULT is 32-bit");

VARIANT* asVariant(PropertyValue* value) {
  return std::launder(reinterpret_cast<VARIANT*>(value->storage));
}
const VARIANT* asVariant(const PropertyValue& value) {
  return std::launder(reinterpret_cast<const VARIANT*>(value.storage));
}

template <typename Interface>
Interface* as(ComObject object) {
  return static_cast<Interface*>(object);
}

std::u16string copyUpToNul(const wchar_t* text, size_t maxUnits) {
  if (text == nullptr) return {};
  size_t length = 0;
  while (length < maxUnits && text[length] != L'\0') ++length;
  std::u16string copy(length, u'\0');
  for (size_t i = 0; i < length; ++i) copy[i] = static_cast<char16_t>(text[i]);
  return copy;
}

class WindowsDevicePlatform final : public DevicePlatform {
 public:
  PlatformStatus initializeCom() override { return CoInitialize(nullptr); }
  void uninitializeCom() override { CoUninitialize(); }

  PlatformStatus createDeviceEnumerator(ComObject* deviceEnumerator) override {
    ICreateDevEnum* created = nullptr;
    const HRESULT status = CoCreateInstance(
        CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
        IID_ICreateDevEnum, reinterpret_cast<void**>(&created));
    *deviceEnumerator = created;
    return status;
  }

  PlatformStatus createVideoInputEnumerator(
      ComObject deviceEnumerator, ComObject* classEnumerator) override {
    IEnumMoniker* created = nullptr;
    const HRESULT status = as<ICreateDevEnum>(deviceEnumerator)
                               ->CreateClassEnumerator(
                                   CLSID_VideoInputDeviceCategory, &created, 0);
    *classEnumerator = created;
    return status;
  }

  PlatformStatus nextMoniker(ComObject classEnumerator,
                             ComObject* moniker) override {
    IMoniker* fetched = nullptr;
    const HRESULT status =
        as<IEnumMoniker>(classEnumerator)->Next(1, &fetched, nullptr);
    *moniker = fetched;
    return status;
  }

  PlatformStatus bindToPropertyBag(ComObject moniker,
                                   ComObject* propertyBag) override {
    IPropertyBag* bag = nullptr;
    const HRESULT status = as<IMoniker>(moniker)->BindToStorage(
        nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
    *propertyBag = bag;
    return status;
  }

  PlatformStatus getDisplayName(ComObject moniker,
                                PlatformText* displayName) override {
    LPOLESTR text = nullptr;
    const HRESULT status =
        as<IMoniker>(moniker)->GetDisplayName(nullptr, nullptr, &text);
    *displayName = text;
    return status;
  }

  void release(ComObject object) override { as<IUnknown>(object)->Release(); }

  std::u16string copyText(PlatformText text) override {
    return copyUpToNul(static_cast<const wchar_t*>(text), SIZE_MAX);
  }
  void freeText(PlatformText text) override { CoTaskMemFree(text); }

  void initValue(PropertyValue* value) override {
    VariantInit(asVariant(value));
  }

  PlatformStatus readProperty(ComObject propertyBag, const std::u16string& name,
                              PropertyValue* value) override {
    const std::wstring wideName(name.begin(), name.end());
    return as<IPropertyBag>(propertyBag)
        ->Read(wideName.c_str(), asVariant(value), nullptr);
  }

  std::u16string valueText(const PropertyValue& value,
                           size_t maxUnits) override {
    const VARIANT* variant = asVariant(value);
    // Only a string names a device; any other type gives no text.
    if (V_VT(variant) != VT_BSTR) return {};
    return copyUpToNul(V_BSTR(variant), maxUnits);
  }

  void clearValue(PropertyValue* value) override {
    VariantClear(asVariant(value));
  }
};

}  // namespace

DevicePlatform& systemDevicePlatform() {
  static WindowsDevicePlatform platform;
  return platform;
}
