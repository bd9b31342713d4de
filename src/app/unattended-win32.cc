#include <windows.h>

#include "app/kernel32-win32.h"
#include "app/unattended.h"

void runUnattended() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
               SEM_NOOPENFILEERRORBOX);
  // The DLLs that COM loads for the device walk find theirs by name, and
  // the exe's own folder (Downloads, say) would come first: only System32
  // is searched. Without the call (Vista, Windows 7 without KB2533623) the
  // current directory at least is dropped from the search.
  const auto setDefaultDirectories =
      kernel32Call<decltype(&SetDefaultDllDirectories)>(
          "SetDefaultDllDirectories");
  if (!setDefaultDirectories ||
      !setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");
  }
}
