// Points one of this program's imports at a function of the test's own. The
// code under test, linked into the program, calls through the same import
// table, so it meets the replacement while its object code stays as shipped.

#ifndef CAMERA_INFO_TESTS_WINE_REPLACE_IMPORT_H_
#define CAMERA_INFO_TESTS_WINE_REPLACE_IMPORT_H_

#include <windows.h>

#include <cstring>

/// Replaces the import `function` (of any DLL) with `replacement`; returns
/// the function it replaced, or null where this program imports no such
/// function (the code under test then never calls it).
template <typename Function>
Function replaceImport(const char* function, Function replacement) {
  auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* const headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
           base + imports.VirtualAddress);
       dll->Name; ++dll) {
    auto* name =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(
                          base + name->u1.AddressOfData)
                          ->Name,
                      function) != 0) {
        continue;
      }
      DWORD was;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function,
                     PAGE_READWRITE, &was);
      const auto replaced = reinterpret_cast<Function>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
      return replaced;
    }
  }
  return nullptr;
}

#endif  // CAMERA_INFO_TESTS_WINE_REPLACE_IMPORT_H_
