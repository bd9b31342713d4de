#include "fake_video_devices.h"

#include <dshow.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>

namespace {

// The devices of the video-input category, one registry key each.
const wchar_t kInstanceKey[] =
    L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";

// The filter that the devices claim to be; nothing ever creates one.
const CLSID kFakeFilter = {0x6d1b7a52,
                           0x3e0c,
                           0x4b8e,
                           {0x9a, 0x51, 0x2f, 0x7c, 0x40, 0x11, 0xd3, 0x9e}};

std::string failure(const char* what, long code) {
  char text[128];
  std::snprintf(text, sizeof text, "%s failed: 0x%08lX", what,
                static_cast<unsigned long>(code));
  return text;
}

class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() { RegCloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

std::string setProperties(const FakeVideoDevice& device) {
  const std::wstring path =
      std::wstring(kInstanceKey) + L"\\" + device.instance;
  HKEY key = nullptr;
  LONG result =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_SET_VALUE, &key);
  if (result != ERROR_SUCCESS) return failure("RegOpenKeyExW", result);
  KeyCloser closer(key);
  if (device.description) {
    const std::wstring& text = *device.description;
    result =
        RegSetValueExW(key, L"Description", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) return failure("RegSetValueExW", result);
  }
  if (!device.friendlyName) {
    result = RegDeleteValueW(key, L"FriendlyName");
    if (result != ERROR_SUCCESS) return failure("RegDeleteValueW", result);
  }
  return {};
}

std::string registerDevices(IFilterMapper2* mapper,
                            const std::vector<FakeVideoDevice>& devices) {
  for (const FakeVideoDevice& device : devices) {
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 0;
    // The mapper always writes a FriendlyName; a device without one loses
    // it again below.
    const std::wstring& name =
        device.friendlyName ? *device.friendlyName : device.instance;
    IMoniker* moniker = nullptr;
    const HRESULT status = mapper->RegisterFilter(
        kFakeFilter, name.c_str(), &moniker, &CLSID_VideoInputDeviceCategory,
        device.instance.c_str(), &filter);
    if (moniker != nullptr) moniker->Release();
    if (FAILED(status)) return failure("RegisterFilter", status);
    std::string error = setProperties(device);
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace

std::wstring fakeDisplayName(const std::wstring& instance) {
  return L"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\" + instance;
}

std::string replaceFakeVideoDevices(
    const std::vector<FakeVideoDevice>& devices) {
  const LONG cleared = RegDeleteTreeW(HKEY_CLASSES_ROOT, kInstanceKey);
  if (cleared != ERROR_SUCCESS && cleared != ERROR_FILE_NOT_FOUND) {
    return failure("RegDeleteTreeW", cleared);
  }
  if (devices.empty()) return {};

  const HRESULT initialized = CoInitialize(nullptr);
  if (FAILED(initialized)) return failure("CoInitialize", initialized);
  IFilterMapper2* mapper = nullptr;
  HRESULT status =
      CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                       IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
  std::string error;
  if (FAILED(status)) {
    error = failure("CoCreateInstance(FilterMapper2)", status);
  } else {
    error = registerDevices(mapper, devices);
    mapper->Release();
  }
  CoUninitialize();
  return error;
}
