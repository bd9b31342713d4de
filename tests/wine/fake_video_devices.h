#ifndef CAMERA_INFO_TESTS_WINE_FAKE_VIDEO_DEVICES_H_
#define CAMERA_INFO_TESTS_WINE_FAKE_VIDEO_DEVICES_H_

#include <optional>
#include <string>
#include <vector>

/// A video-input device to create in the Wine prefix.
struct FakeVideoDevice {
  std::wstring instance;  ///< no backslash; the display name ends with it
  std::optional<std::wstring> friendlyName;  ///< null: no such property
  std::optional<std::wstring> description;   ///< null: no such property
};

/// The display name Wine gives a device registered under `instance`.
std::wstring fakeDisplayName(const std::wstring& instance);

/// Removes every software video-input device, then registers `devices`
/// through DirectShow's filter mapper, the way a software camera installs
/// itself, and adjusts their properties in the registry. Returns an error
/// text, or an empty one on success.
std::string replaceFakeVideoDevices(
    const std::vector<FakeVideoDevice>& devices);

#endif  // CAMERA_INFO_TESTS_WINE_FAKE_VIDEO_DEVICES_H_
