#include "discovery/scripted_device_platform.h"

#include <algorithm>
#include <cstring>

namespace {

// What the scripted platform keeps in a PropertyValue.
struct ScriptedValue {
  std::uint32_t magic;
  std::uint32_t stringId;  // 0: holds no string
};
constexpr std::uint32_t kValueMagic = 0x56415231;  // "VAR1"
static_assert(sizeof(ScriptedValue) <= sizeof(PropertyValue::storage));

ScriptedValue loadValue(const PropertyValue& value) {
  ScriptedValue scripted;
  std::memcpy(&scripted, value.storage, sizeof scripted);
  return scripted;
}

void storeValue(PropertyValue* value, ScriptedValue scripted) {
  std::memcpy(value->storage, &scripted, sizeof scripted);
}

std::uintptr_t handleOf(const void* pointer) {
  return reinterpret_cast<std::uintptr_t>(pointer);
}

}  // namespace

std::string toAscii(const std::u16string& text) {
  std::string ascii;
  for (char16_t unit : text)
    ascii += unit < 0x80 ? static_cast<char>(unit) : '?';
  return ascii;
}

ScriptedDevicePlatform::ScriptedDevicePlatform(
    std::vector<ScriptedDevice> devices)
    : devices_(std::move(devices)) {}

void ScriptedDevicePlatform::failCall(ScriptedOperation operation,
                                      int occurrence, PlatformStatus status) {
  failures_[{operation, occurrence}] = status;
}

std::optional<PlatformStatus> ScriptedDevicePlatform::injectedStatus(
    ScriptedOperation operation) {
  const int occurrence = ++callCounts_[operation];
  auto failure = failures_.find({operation, occurrence});
  if (failure == failures_.end()) return std::nullopt;
  return failure->second;
}

std::vector<std::string> ScriptedDevicePlatform::comCalls() const {
  std::vector<std::string> result;
  for (const std::string& call : calls_) {
    if (call.rfind("Variant", 0) != 0 && call.rfind("CopyText", 0) != 0 &&
        call.rfind("ValueText", 0) != 0) {
      result.push_back(call);
    }
  }
  return result;
}

int ScriptedDevicePlatform::countCalls(const std::string& call) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

std::vector<std::string> ScriptedDevicePlatform::cleanEndProblems() const {
  std::vector<std::string> problems = misuses_;
  if (countCalls("CoInitialize") != 1)
    problems.push_back("CoInitialize not once");
  if (countCalls("CoUninitialize") != 1) {
    problems.push_back("CoUninitialize not once");
  }
  if (calls_.empty() || calls_.back() != "CoUninitialize") {
    problems.push_back("CoUninitialize not last");
  }
  for (const auto& entry : objects_) {
    problems.push_back("not released: " + entry.second.label);
  }
  if (!texts_.empty()) problems.push_back("display name text not freed");
  if (!valueStrings_.empty()) problems.push_back("property string not freed");
  return problems;
}

ComObject ScriptedDevicePlatform::handOut(std::string label, int device) {
  const std::uintptr_t handle = nextHandle_;
  nextHandle_ += 0x10;
  objects_[handle] = Object{std::move(label), device};
  return reinterpret_cast<ComObject>(handle);
}

const ScriptedDevicePlatform::Object* ScriptedDevicePlatform::find(
    ComObject object, const std::string& labelPrefix, const char* call) {
  auto found = objects_.find(handleOf(object));
  if (found == objects_.end() ||
      found->second.label.rfind(labelPrefix, 0) != 0) {
    misuses_.push_back(std::string(call) + " on something not a live " +
                       labelPrefix);
    return nullptr;
  }
  return &found->second;
}

PlatformStatus ScriptedDevicePlatform::initializeCom() {
  record("CoInitialize");
  return injectedStatus(ScriptedOperation::kCoInitialize).value_or(kStatusOk);
}

void ScriptedDevicePlatform::uninitializeCom() { record("CoUninitialize"); }

PlatformStatus ScriptedDevicePlatform::createDeviceEnumerator(
    ComObject* deviceEnumerator) {
  record("CoCreateInstance");
  const PlatformStatus status =
      injectedStatus(ScriptedOperation::kCoCreateInstance).value_or(kStatusOk);
  *deviceEnumerator =
      succeeded(status) ? handOut("device enumerator") : nullptr;
  return status;
}

PlatformStatus ScriptedDevicePlatform::createVideoInputEnumerator(
    ComObject deviceEnumerator, ComObject* classEnumerator) {
  record("CreateClassEnumerator");
  find(deviceEnumerator, "device enumerator", "CreateClassEnumerator");
  // Like the platform: an empty category gives S_FALSE and no enumerator.
  const PlatformStatus status =
      injectedStatus(ScriptedOperation::kCreateClassEnumerator)
          .value_or(devices_.empty() ? kStatusFalse : kStatusOk);
  const bool handsOut = succeeded(status) && !devices_.empty();
  *classEnumerator = handsOut ? handOut("class enumerator") : nullptr;
  return status;
}

PlatformStatus ScriptedDevicePlatform::nextMoniker(ComObject classEnumerator,
                                                   ComObject* moniker) {
  record("Next");
  find(classEnumerator, "class enumerator", "Next");
  if (*moniker != nullptr) misuses_.push_back("Next into a non-null slot");
  const bool atEnd = nextDevice_ >= devices_.size();
  const PlatformStatus status = injectedStatus(ScriptedOperation::kNext)
                                    .value_or(atEnd ? kStatusFalse : kStatusOk);
  *moniker = nullptr;
  if (succeeded(status) && !atEnd) {
    ++nextDevice_;
    const int device = static_cast<int>(nextDevice_);
    *moniker = handOut("moniker " + std::to_string(device), device);
  }
  return status;
}

PlatformStatus ScriptedDevicePlatform::bindToPropertyBag(
    ComObject moniker, ComObject* propertyBag) {
  const Object* object = find(moniker, "moniker", "BindToStorage");
  const int device = object != nullptr ? object->device : 0;
  record("BindToStorage(" + std::to_string(device) + ")");
  const PlatformStatus status =
      injectedStatus(ScriptedOperation::kBindToStorage).value_or(kStatusOk);
  *propertyBag = succeeded(status) && device != 0
                     ? handOut("property bag " + std::to_string(device), device)
                     : nullptr;
  return status;
}

PlatformStatus ScriptedDevicePlatform::getDisplayName(
    ComObject moniker, PlatformText* displayName) {
  const Object* object = find(moniker, "moniker", "GetDisplayName");
  const int device = object != nullptr ? object->device : 0;
  record("GetDisplayName(" + std::to_string(device) + ")");
  const PlatformStatus status =
      injectedStatus(ScriptedOperation::kGetDisplayName).value_or(kStatusOk);
  *displayName = nullptr;
  if (!succeeded(status) || device == 0) return status;
  const std::optional<std::u16string>& text =
      devices_[static_cast<size_t>(device - 1)].displayName;
  if (!text) return status;
  const std::uintptr_t handle = nextHandle_;
  nextHandle_ += 0x10;
  texts_[handle] = *text;
  *displayName = reinterpret_cast<PlatformText>(handle);
  return status;
}

void ScriptedDevicePlatform::release(ComObject object) {
  auto found = objects_.find(handleOf(object));
  if (found == objects_.end()) {
    record("Release(?)");
    misuses_.push_back("Release of something not held");
    return;
  }
  record("Release(" + found->second.label + ")");
  objects_.erase(found);
}

std::u16string ScriptedDevicePlatform::copyText(PlatformText text) {
  record("CopyText");
  if (text == nullptr) return {};
  auto found = texts_.find(handleOf(text));
  if (found == texts_.end()) {
    misuses_.push_back("CopyText of a text not held");
    return {};
  }
  return found->second;
}

void ScriptedDevicePlatform::freeText(PlatformText text) {
  record("CoTaskMemFree");
  if (text != nullptr && texts_.erase(handleOf(text)) == 0) {
    misuses_.push_back("CoTaskMemFree of a text not held");
  }
}

void ScriptedDevicePlatform::initValue(PropertyValue* value) {
  record("VariantInit");
  storeValue(value, ScriptedValue{kValueMagic, 0});
}

PlatformStatus ScriptedDevicePlatform::readProperty(ComObject propertyBag,
                                                    const std::u16string& name,
                                                    PropertyValue* value) {
  const Object* object = find(propertyBag, "property bag", "Read");
  const int device = object != nullptr ? object->device : 0;
  record("Read(" + std::to_string(device) + ", " + toAscii(name) + ")");
  if (loadValue(*value).magic != kValueMagic) {
    misuses_.push_back("Read into a value never initialised");
  }
  std::optional<PlatformStatus> status =
      injectedStatus(ScriptedOperation::kRead);
  if (status && !succeeded(*status)) return *status;
  if (device == 0) return kStatusFail;
  const ScriptedDevice& scripted = devices_[static_cast<size_t>(device - 1)];
  const std::optional<std::u16string>& text =
      name == u"Description"    ? scripted.description
      : name == u"FriendlyName" ? scripted.friendlyName
                                : std::nullopt;
  if (!text) return kStatusFileNotFound;
  // The previous string, if any, is overwritten, not freed.
  const std::uint32_t id = nextValueString_++;
  valueStrings_[id] = *text;
  storeValue(value, ScriptedValue{kValueMagic, id});
  return status.value_or(kStatusOk);
}

std::u16string ScriptedDevicePlatform::valueText(const PropertyValue& value,
                                                 size_t maxUnits) {
  record("ValueText");
  const ScriptedValue scripted = loadValue(value);
  auto found = valueStrings_.find(scripted.stringId);
  if (scripted.magic != kValueMagic || found == valueStrings_.end()) return {};
  const std::u16string& text = found->second;
  const size_t end = std::min({text.find(u'\0'), text.size(), maxUnits});
  return text.substr(0, end);
}

void ScriptedDevicePlatform::clearValue(PropertyValue* value) {
  record("VariantClear");
  const ScriptedValue scripted = loadValue(*value);
  if (scripted.magic != kValueMagic) {
    misuses_.push_back("VariantClear of a value never initialised");
    return;
  }
  valueStrings_.erase(scripted.stringId);
  storeValue(value, ScriptedValue{kValueMagic, 0});
}
