#ifndef CAMERA_INFO_DISCOVERY_DEVICE_IDS_H_
#define CAMERA_INFO_DISCOVERY_DEVICE_IDS_H_

#include <optional>
#include <string>

/// Vendor and product identifier texts cut out of a device's display name.
struct DeviceIds {
  std::u16string vid;
  std::u16string pid;
};

/// Returns the part of `text` that follows the first occurrence of `key`, up
/// to (not including) the first `terminator` behind it, or the whole rest when
/// no terminator follows. Returns no value when `key` does not occur at all.
/// Matching is exact and case-sensitive, and may fall inside a longer word.
std::optional<std::u16string> cutAfterKey(const std::u16string& text,
                                          const std::u16string& key,
                                          const std::u16string& terminator);

/// Applies the vendor rules ("vid_", "ven_" up to "&"; "int" up to "#") and
/// the product rules ("pid_", "dev_" up to "&"; "uid" up to "#") to a display
/// name. Within each list the first rule whose key occurs decides, even when
/// its value is empty; a list whose keys all miss gives an empty text.
DeviceIds parseDeviceIds(const std::u16string& displayName);

#endif  // CAMERA_INFO_DISCOVERY_DEVICE_IDS_H_
