#ifndef CAMERA_INFO_DISCOVERY_DEVICE_PLATFORM_H_
#define CAMERA_INFO_DISCOVERY_DEVICE_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

/// A platform status (an HRESULT): negative is a failure.
using PlatformStatus = std::int32_t;
inline constexpr PlatformStatus kStatusOk = 0;     // S_OK
inline constexpr PlatformStatus kStatusFalse = 1;  // S_FALSE
inline constexpr bool succeeded(PlatformStatus status) { return status >= 0; }

/// An interface pointer handed out by the platform: the device enumerator,
/// the class enumerator, a moniker or a property bag. Owned by the caller,
/// who gives it back with `DevicePlatform::release`.
using ComObject = void*;

/// A text in the platform's task memory (a display name). Owned by the
/// caller, who gives it back with `DevicePlatform::freeText`.
using PlatformText = void*;

/// Storage for one property value: a VARIANT on Windows. Big and aligned
/// enough for a VARIANT on every target; backends reinterpret it.
struct PropertyValue {
  alignas(8) unsigned char storage[24];
};

/// The platform operations that camera discovery needs, so that the
/// enumeration logic is written once and runs against the real COM and
/// DirectShow services, the stand-in used off Windows, or a scripted fake.
class DevicePlatform {
 public:
  virtual ~DevicePlatform() = default;

  /// CoInitialize(NULL).
  virtual PlatformStatus initializeCom() = 0;
  /// CoUninitialize().
  virtual void uninitializeCom() = 0;

  /// CoCreateInstance(CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER,
  /// IID_ICreateDevEnum, deviceEnumerator).
  virtual PlatformStatus createDeviceEnumerator(
      ComObject* deviceEnumerator) = 0;
  /// ICreateDevEnum::CreateClassEnumerator(CLSID_VideoInputDeviceCategory,
  /// classEnumerator, 0).
  virtual PlatformStatus createVideoInputEnumerator(
      ComObject deviceEnumerator, ComObject* classEnumerator) = 0;
  /// IEnumMoniker::Next(1, moniker, NULL).
  virtual PlatformStatus nextMoniker(ComObject classEnumerator,
                                     ComObject* moniker) = 0;
  /// IMoniker::BindToStorage(NULL, NULL, IID_IPropertyBag, propertyBag).
  virtual PlatformStatus bindToPropertyBag(ComObject moniker,
                                           ComObject* propertyBag) = 0;
  /// IMoniker::GetDisplayName(NULL, NULL, displayName).
  virtual PlatformStatus getDisplayName(ComObject moniker,
                                        PlatformText* displayName) = 0;
  /// IUnknown::Release().
  virtual void release(ComObject object) = 0;

  /// Copies a platform text up to its NUL; a null text is empty.
  virtual std::u16string copyText(PlatformText text) = 0;
  /// CoTaskMemFree().
  virtual void freeText(PlatformText text) = 0;

  /// VariantInit().
  virtual void initValue(PropertyValue* value) = 0;
  /// IPropertyBag::Read(name, value, NULL).
  virtual PlatformStatus readProperty(ComObject propertyBag,
                                      const std::u16string& name,
                                      PropertyValue* value) = 0;
  /// The value's string up to its first NUL, at most `maxUnits` code units;
  /// empty for a null string or a value that holds no string.
  virtual std::u16string valueText(const PropertyValue& value,
                                   size_t maxUnits) = 0;
  /// VariantClear().
  virtual void clearValue(PropertyValue* value) = 0;
};

/// The platform of the machine the program runs on: COM and DirectShow on
/// Windows; elsewhere a stand-in whose video-input category has no device.
DevicePlatform& systemDevicePlatform();

#endif  // CAMERA_INFO_DISCOVERY_DEVICE_PLATFORM_H_
