// Test helper for Wine.
//   wine_devices DEVICES_FILE
//     Replaces the software video-input devices with those of DEVICES_FILE
//     (UTF-8, one a line: instance TAB FriendlyName TAB Description, where
//     "-" means that the property is absent), in both registry views.
//   wine_devices hold FILE PROGRAM [ARGS]
//     Runs PROGRAM while FILE is open without sharing; exits with its status.

#include <dshow.h>
#include <process.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

// The video-input category's devices, one key each. A 32-bit program sees
// the 32-bit registry view of it, a 64-bit program the 64-bit one.
const wchar_t kInstances[] =
    L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";
const REGSAM kOtherView = sizeof(void*) > 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

static bool check(const char* what, long status) {
  if (status != 0) std::fprintf(stderr, "%s failed: 0x%08lX\n", what, status);
  return status == 0;
}

// A line's device, registered the way a software camera installs itself (as
// a filter that nothing creates). The mapper writes a FriendlyName, deleted
// again for "-"; that step also finds a key that the mapper failed to make
// (Wine's reports success for an instance name over 256 units).
static bool addDevice(IFilterMapper2* mapper, HKEY keys, std::wstring line) {
  std::wistringstream in(line);
  std::wstring id, name, desc;  // desc: the Description
  std::getline(std::getline(std::getline(in, id, L'\t'), name, L'\t'), desc);
  const REGFILTER2 filter = {1, MERIT_DO_NOT_USE, {}};
  const auto bytes = static_cast<DWORD>(desc.size() * 2 + 2);
  return check("reading 3 fields", !in) &&
         check("RegisterFilter",
               mapper->RegisterFilter(CLSID_NULL, name.c_str(), nullptr,
                                      &CLSID_VideoInputDeviceCategory,
                                      id.c_str(), &filter)) &&
         check("FriendlyName",
               name == L"-"
                   ? RegDeleteKeyValueW(keys, id.c_str(), L"FriendlyName")
                   : RegGetValueW(keys, id.c_str(), L"FriendlyName",
                                  RRF_RT_REG_SZ, nullptr, nullptr, nullptr)) &&
         (desc == L"-" ||
          check("RegSetKeyValueW",
                RegSetKeyValueW(keys, id.c_str(), L"Description", REG_SZ,
                                desc.c_str(), bytes)));
}

static bool installDevices(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  std::wistringstream lines(std::filesystem::u8path(text).wstring());
  HKEY keys[2] = {};  // this program's registry view, then the other one
  bool ok = check("opening the devices file", !file);
  for (int i = 0; ok && i < 2; ++i)  // each emptied of its devices
    ok = check("RegCreateKeyExW",
               RegCreateKeyExW(HKEY_CLASSES_ROOT, kInstances, 0, nullptr, 0,
                               KEY_ALL_ACCESS | (i ? kOtherView : 0), nullptr,
                               &keys[i], nullptr)) &&
         check("RegDeleteTreeW", RegDeleteTreeW(keys[i], nullptr));
  IFilterMapper2* mapper = nullptr;
  ok = ok && check("CoInitialize", CoInitialize(nullptr)) &&
       check("CoCreateInstance",
             CoCreateInstance(CLSID_FilterMapper2, nullptr,
                              CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper)));
  for (std::wstring line; ok && std::getline(lines, line);)
    ok = line.empty() || addDevice(mapper, keys[0], line);
  // The other view gets a copy of the devices, properties and all.
  return ok && check("RegCopyTreeW", RegCopyTreeW(keys[0], nullptr, keys[1]));
}

// The program's arguments may hold no space: _spawnv does not quote them.
static int hold(char** argv) {
  const HANDLE file =
      CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (!check("CreateFileA", file == INVALID_HANDLE_VALUE)) return 1;
  const intptr_t status = _spawnv(_P_WAIT, argv[3], argv + 3);
  CloseHandle(file);
  return check("_spawnv", status == -1) ? static_cast<int>(status) : 1;
}

int main(int argc, char** argv) {
  if (argc == 2) return installDevices(argv[1]) ? 0 : 1;
  if (argc >= 4 && std::string(argv[1]) == "hold") return hold(argv);
  std::fputs("usage: wine_devices DEVICES | hold FILE EXE [ARGS]\n", stderr);
  return 2;
}
