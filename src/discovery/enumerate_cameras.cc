#include "discovery/enumerate_cameras.h"

#include <string>
#include <utility>

#include "discovery/device_ids.h"
#include "discovery/device_platform.h"

namespace {

// Each platform resource below is owned by one guard, so that every path
// out of the enumeration, an exception included, gives it back exactly once.

class ComSession {
 public:
  explicit ComSession(DevicePlatform& platform) : platform_(platform) {
    platform_.initializeCom();  // its status changes nothing that follows
  }
  ~ComSession() { platform_.uninitializeCom(); }
  ComSession(const ComSession&) = delete;
  ComSession& operator=(const ComSession&) = delete;

 private:
  DevicePlatform& platform_;
};

class ComRef {
 public:
  explicit ComRef(DevicePlatform& platform) : platform_(platform) {}
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  ComObject get() const { return object_; }
  /// The slot for an operation to fill; anything held before is released.
  ComObject* slot() {
    reset();
    return &object_;
  }
  void reset() {
    if (object_ != nullptr) platform_.release(std::exchange(object_, nullptr));
  }

 private:
  DevicePlatform& platform_;
  ComObject object_ = nullptr;
};

class OwnedText {
 public:
  explicit OwnedText(DevicePlatform& platform) : platform_(platform) {}
  ~OwnedText() {
    if (text_ != nullptr) platform_.freeText(text_);
  }
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;

  PlatformText get() const { return text_; }
  PlatformText* slot() { return &text_; }

 private:
  DevicePlatform& platform_;
  PlatformText text_ = nullptr;
};

class OwnedValue {
 public:
  explicit OwnedValue(DevicePlatform& platform) : platform_(platform) {
    platform_.initValue(&value_);
  }
  ~OwnedValue() { platform_.clearValue(&value_); }
  OwnedValue(const OwnedValue&) = delete;
  OwnedValue& operator=(const OwnedValue&) = delete;

  const PropertyValue& get() const { return value_; }
  PropertyValue* slot() { return &value_; }

 private:
  DevicePlatform& platform_;
  PropertyValue value_;
};

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Keeps at most kCameraNameLimit units, one fewer where the cut would split
// a surrogate pair, so that a name never ends in half a character.
std::u16string limitName(std::u16string name) {
  if (name.size() <= kCameraNameLimit) return name;
  size_t keep = kCameraNameLimit;
  if (isHighSurrogate(name[keep - 1]) && isLowSurrogate(name[keep])) --keep;
  name.resize(keep);
  return name;
}

// Reads one property into a fresh holder and, on success, takes its text
// into `name`. A failed read leaves `name` as it was. A fresh holder per read
// means a second successful read cannot overwrite (and leak) the string of
// the first one.
bool readNameProperty(DevicePlatform& platform, ComObject propertyBag,
                      const std::u16string& property, std::u16string& name) {
  OwnedValue value(platform);
  if (!succeeded(platform.readProperty(propertyBag, property, value.slot()))) {
    return false;
  }
  // One unit more than the limit shows whether the cut splits a pair.
  name = limitName(platform.valueText(value.get(), kCameraNameLimit + 1));
  return true;
}

// "FriendlyName" is preferred; "Description" stands in where it is missing.
// A device with neither has no name and yields no record.
bool readCameraName(DevicePlatform& platform, ComObject propertyBag,
                    std::u16string& name) {
  const std::u16string description = u"Description";
  const std::u16string friendlyName = u"FriendlyName";
  if (!readNameProperty(platform, propertyBag, description, name) &&
      !readNameProperty(platform, propertyBag, friendlyName, name)) {
    return false;
  }
  readNameProperty(platform, propertyBag, friendlyName, name);
  return true;
}

// Returns whether the device yielded a record.
bool addCamera(DevicePlatform& platform, ComObject moniker,
               std::vector<CameraRecord>& cameras) {
  ComRef propertyBag(platform);
  if (!succeeded(platform.bindToPropertyBag(moniker, propertyBag.slot()))) {
    return false;
  }

  CameraRecord record;
  {
    OwnedText displayName(platform);
    platform.getDisplayName(moniker, displayName.slot());
    record.detail = platform.copyText(displayName.get());
  }
  DeviceIds ids = parseDeviceIds(record.detail);
  record.vid = std::move(ids.vid);
  record.pid = std::move(ids.pid);

  if (!readCameraName(platform, propertyBag.get(), record.name)) return false;
  cameras.push_back(std::move(record));
  return true;
}

}  // namespace

int enumerateCameras(std::vector<CameraRecord>& cameras,
                     DevicePlatform& platform) {
  ComSession session(platform);
  int count = 0;

  // Declared in reverse order of creation so that, when the enumeration
  // ends, the device enumerator is given back before the class enumerator.
  ComRef classEnumerator(platform);
  ComRef deviceEnumerator(platform);
  if (!succeeded(platform.createDeviceEnumerator(deviceEnumerator.slot()))) {
    return count;
  }
  // S_FALSE means the category is empty; only S_OK gives an enumerator.
  if (platform.createVideoInputEnumerator(
          deviceEnumerator.get(), classEnumerator.slot()) != kStatusOk) {
    return count;
  }

  ComRef moniker(platform);
  while (platform.nextMoniker(classEnumerator.get(), moniker.slot()) ==
         kStatusOk) {
    if (addCamera(platform, moniker.get(), cameras)) ++count;
    moniker.reset();
  }
  // Every reference is given back before the session ends COM.
  return count;
}
