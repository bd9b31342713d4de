#ifndef CAMERA_INFO_APP_KERNEL32_WIN32_H_
#define CAMERA_INFO_APP_KERNEL32_WIN32_H_

#include <windows.h>

/// A kernel32 call that some supported Windows lacks, looked up at run time
/// so that the program still starts there; null where it is missing. Call
/// as `kernel32Call<decltype(&Name)>("Name")`.
template <typename Function>
Function kernel32Call(const char* name) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC found = kernel ? GetProcAddress(kernel, name) : nullptr;
  // Through void(*)(): a cast between function pointer types as such.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

#endif  // CAMERA_INFO_APP_KERNEL32_WIN32_H_
