#include "discovery/fake_device_platform.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// What a PropertyValue holds here: a mark that it was initialised, and the
// string it carries (null for none).
struct FakeValue {
  std::uint32_t mark;
  ComObject string;
};
constexpr std::uint32_t kInitialised = 0x56415231;

FakeValue load(const PropertyValue& value) {
  FakeValue fake;
  std::memcpy(&fake, value.storage, sizeof fake);
  return fake;
}
void store(PropertyValue* value, FakeValue fake) {
  std::memcpy(value->storage, &fake, sizeof fake);
}

}  // namespace

std::string FakeDevicePlatform::unclean() const {
  std::string problems = misuse_;
  if (log.find("Init") != 0 || log.find("Init", 1) != std::string::npos) {
    problems += " CoInitialize not once, first;";
  }
  const size_t end = log.rfind("Uninit");
  if (end == std::string::npos || end + 6 != log.size() ||
      log.find("Uninit") != end) {
    problems += " CoUninitialize not once, last;";
  }
  for (const auto& [object, label] : live_) problems += " kept " + label + ";";
  return problems;
}

PlatformStatus FakeDevicePlatform::call(const std::string& operation,
                                        PlatformStatus normal) {
  const std::string key =
      operation + "#" + std::to_string(++counts_[operation]);
  if (key == throwAt) throw std::bad_alloc();
  const auto status = statuses.find(key);
  return status == statuses.end() ? normal : status->second;
}

ComObject FakeDevicePlatform::handOut(const std::string& label) {
  ComObject object = reinterpret_cast<ComObject>(16 * ++handed_);
  live_.emplace(object, label);  // the last step: may throw std::bad_alloc
  return object;
}

int FakeDevicePlatform::deviceOf(ComObject object, const char* kind) {
  const auto found = live_.find(object);
  if (found == live_.end() || found->second.rfind(kind, 0) != 0) {
    misuse_ += std::string(" not a live ") + kind + ";";
    return 0;
  }
  return std::stoi(found->second.substr(std::strlen(kind)));
}

PlatformStatus FakeDevicePlatform::initializeCom() {
  log += "Init";
  return call("Init", kStatusOk);
}

void FakeDevicePlatform::uninitializeCom() { log += " Uninit"; }

PlatformStatus FakeDevicePlatform::createDeviceEnumerator(ComObject* created) {
  log += " Create";
  const PlatformStatus status = call("Create", kStatusOk);
  *created = succeeded(status) ? handOut("device enumerator") : nullptr;
  return status;
}

PlatformStatus FakeDevicePlatform::createVideoInputEnumerator(
    ComObject deviceEnumerator, ComObject* created) {
  log += " Class";
  if (live_[deviceEnumerator] != "device enumerator") misuse_ += " Class;";
  // Like DirectShow: an empty category gives S_FALSE and no enumerator.
  const PlatformStatus status =
      call("Class", devices_.empty() ? kStatusFalse : kStatusOk);
  *created = status == kStatusOk ? handOut("class enumerator") : nullptr;
  return status;
}

PlatformStatus FakeDevicePlatform::nextMoniker(ComObject classEnumerator,
                                               ComObject* moniker) {
  log += " Next";
  if (live_[classEnumerator] != "class enumerator" || *moniker != nullptr) {
    misuse_ += " Next;";
  }
  const bool atEnd = static_cast<size_t>(fetched_) == devices_.size();
  const PlatformStatus status = call("Next", atEnd ? kStatusFalse : kStatusOk);
  *moniker = status == kStatusOk && !atEnd
                 ? handOut("moniker" + std::to_string(++fetched_))
                 : nullptr;
  return status;
}

PlatformStatus FakeDevicePlatform::bindToPropertyBag(ComObject moniker,
                                                     ComObject* bag) {
  const std::string device = std::to_string(deviceOf(moniker, "moniker"));
  log += " Bind" + device;
  const PlatformStatus status = call("Bind", kStatusOk);
  *bag = succeeded(status) ? handOut("bag" + device) : nullptr;
  return status;
}

PlatformStatus FakeDevicePlatform::getDisplayName(ComObject moniker,
                                                  PlatformText* text) {
  const int device = deviceOf(moniker, "moniker");
  log += " Name" + std::to_string(device);
  const PlatformStatus status = call("Name", kStatusOk);
  const bool hasText = succeeded(status) && device > 0 &&
                       devices_[static_cast<size_t>(device - 1)].displayName;
  *text = hasText ? handOut("text" + std::to_string(device)) : nullptr;
  return status;
}

void FakeDevicePlatform::release(ComObject object) {
  const auto found = live_.find(object);
  log.append(" Release:")
      .append(found == live_.end() ? "?" : found->second.c_str());
  if (found == live_.end() || found->second.rfind("text", 0) == 0 ||
      found->second.rfind("string", 0) == 0) {
    misuse_ += " Release;";
  } else {
    live_.erase(found);
  }
}

std::u16string FakeDevicePlatform::copyText(PlatformText text) {
  if (text == nullptr) return {};
  const int device = deviceOf(text, "text");
  return device > 0 ? *devices_[static_cast<size_t>(device - 1)].displayName
                    : u"";
}

void FakeDevicePlatform::freeText(PlatformText text) {
  log += " Free";
  if (text != nullptr) deviceOf(text, "text"), live_.erase(text);
}

void FakeDevicePlatform::initValue(PropertyValue* value) {
  store(value, FakeValue{kInitialised, nullptr});
}

PlatformStatus FakeDevicePlatform::readProperty(ComObject bag,
                                                const std::u16string& name,
                                                PropertyValue* value) {
  const int device = deviceOf(bag, "bag");
  const bool friendly = name == u"FriendlyName";
  log += " Read" + std::to_string(device) + (friendly ? "F" : "D");
  if (load(*value).mark != kInitialised) misuse_ += " Read into raw value;";
  if (!friendly && name != u"Description") misuse_ += " Read of other name;";
  if (device == 0) return kStatusFail;
  const FakeDevice& fake = devices_[static_cast<size_t>(device - 1)];
  const auto& text = friendly ? fake.friendlyName : fake.description;
  const PlatformStatus status = call("Read", text ? kStatusOk : kStatusFail);
  if (!succeeded(status) || !text) return text ? status : kStatusFail;
  // The string held before, if any, is lost, as on the real platform.
  const ComObject string = reinterpret_cast<ComObject>(16 * (handed_ + 1));
  strings_[string] = *text;
  handOut("string" + std::to_string(device) + (friendly ? "F" : "D"));
  store(value, FakeValue{kInitialised, string});
  return status;
}

std::u16string FakeDevicePlatform::valueText(const PropertyValue& value,
                                             size_t maxUnits) {
  const auto found = strings_.find(load(value).string);
  if (found == strings_.end()) return {};
  const std::u16string& text = found->second;
  return text.substr(0, std::min(text.find(u'\0'), maxUnits));
}

void FakeDevicePlatform::clearValue(PropertyValue* value) {
  const FakeValue fake = load(*value);
  if (fake.mark != kInitialised) misuse_ += " VariantClear of raw value;";
  live_.erase(fake.string);
  strings_.erase(fake.string);
  store(value, FakeValue{kInitialised, nullptr});
}
