// hold_open FILE PROGRAM [ARGS]: runs PROGRAM while FILE is open without
// sharing, as another program may hold a report, and exits with its status.
// The arguments may hold no space: _spawnv does not quote them.

#include <process.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const HANDLE file =
      CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const intptr_t status = _spawnv(_P_WAIT, argv[2], argv + 2);
  CloseHandle(file);
  return status == -1 ? 4 : static_cast<int>(status);
}
