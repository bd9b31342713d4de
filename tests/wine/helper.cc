// helper: plays the other programs that meet the report, in the Wine cases.
//   hold HOW MS FILE PROGRAM...  runs PROGRAM while FILE is open for reading,
//                                shared as the letters r, w, d of HOW say
//                                (none: not shared); with m FILE is mapped
//                                into memory too, with l its bytes are
//                                locked, and with s the run's new file is
//                                opened once it appears, as a scanner opens
//                                files (sharing reading and writing). FILE
//                                is let go MS milliseconds after the new
//                                file appears ("-": when PROGRAM ends).
//   break FILE                   holds FILE without sharing while this
//                                process makes the report, as the program
//                                does, and sends it Ctrl+Break when the new
//                                file appears
//   deep                         makes the report, as the program does, in a
//                                directory whose path is longer than
//                                MAX_PATH, made here, then moves it here and
//                                removes the directory
//   clash COUNT PROGRAM...       runs PROGRAM with the first COUNT names of
//                                its new file taken by files that hold
//                                "theirs"
//   overwrite FILE SIZE          overwriteFile() with SIZE bytes on FILE
// Exits with PROGRAM's status, or 10 to 19 where the helper itself failed.
// What it holds is let go when it exits. Arguments may hold no space: they
// are joined into one command line.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/report_file-win32.h"
#include "app/run.h"
#include "discovery/device_platform.h"

namespace {

PROCESS_INFORMATION start(char** argv, DWORD flags = 0) {
  std::string line;
  for (; *argv; ++argv) line.append(line.empty() ? "" : " ").append(*argv);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Wine has been seen to fail a start once in many runs: one more try.
  for (int attempt = 0; attempt < 2; ++attempt, Sleep(100)) {
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, flags,
                       nullptr, nullptr, &startup, &process)) {
      return process;
    }
  }
  std::exit(10);
}

int finish(HANDLE process) {
  DWORD status = 11;
  WaitForSingleObject(process, INFINITE);
  GetExitCodeProcess(process, &status);
  return static_cast<int>(status);
}

HANDLE open(const char* name, DWORD access, DWORD share, DWORD how) {
  return CreateFileA(name, access, share, nullptr, how, 0, nullptr);
}

// Waits until the run's new file appears beside the report; returns its
// name, or "" if the run ended first or 5 s went by.
std::string newFileOf(HANDLE process) {
  for (const ULONGLONG end = GetTickCount64() + 5000; GetTickCount64() < end;) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA("CameraInfo.txt.*.tmp", &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      return found.cFileName;
    }
    if (WaitForSingleObject(process, 1) != WAIT_TIMEOUT) break;
  }
  return "";
}

int hold(const char* how, const char* ms, const char* name, char** program) {
  const auto has = [how](char c) { return std::strchr(how, c) != nullptr; };
  const HANDLE file = open(name, GENERIC_READ,
                           (has('r') ? FILE_SHARE_READ : 0) |
                               (has('w') ? FILE_SHARE_WRITE : 0) |
                               (has('d') ? FILE_SHARE_DELETE : 0),
                           OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return 12;
  if (has('m')) {
    const HANDLE mapping =
        CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping || !MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) return 13;
  }
  OVERLAPPED head = {};  // the bytes it has, as a reader locks them
  if (has('l') && !LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0,
                              GetFileSize(file, nullptr), 0, &head)) {
    return 13;
  }
  const HANDLE process = start(program).hProcess;
  if (*ms != '-') {
    const std::string newFile = newFileOf(process);
    if (has('s') && !newFile.empty()) {
      // Whether the scanner gets it is up to the run; it tries, as they do.
      open(newFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
           OPEN_EXISTING);
    }
    Sleep(std::strtoul(ms, nullptr, 10));
    CloseHandle(file);
  }
  return finish(process);
}

// Ctrl+Break as the console delivers it: CtrlRoutine, on a thread of the
// process, calls the process's handlers (Wine 8 delivers no
// GenerateConsoleCtrlEvent, and runs CtrlRoutine only within the process).
DWORD WINAPI sendBreakOnNewFile(void*) {
  newFileOf(GetCurrentProcess());
  const FARPROC routine =
      GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine");
  if (!routine) std::exit(16);
  return reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void (*)()>(routine))(
      reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_BREAK_EVENT)));
}

int interrupt(const char* name) {
  if (open(name, GENERIC_READ, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE) {
    return 12;
  }
  const HANDLE sender =
      CreateThread(nullptr, 0, sendBreakOnNewFile, nullptr, 0, nullptr);
  runCameraInfo(systemDevicePlatform());
  WaitForSingleObject(sender, INFINITE);
  return 0;
}

int deep() {
  // Two levels of 150 characters below the current directory.
  std::wstring here(GetCurrentDirectoryW(0, nullptr), L'\0');
  here.resize(GetCurrentDirectoryW(static_cast<DWORD>(here.size()), &here[0]));
  std::wstring path = L"\\\\?\\" + here;
  for (int level = 0; level < 2; ++level) {
    path += L"\\" + std::wstring(150, L'd');
    if (!CreateDirectoryW(path.c_str(), nullptr)) return 17;
  }
  // Wine starts no program in such a directory, but a program may go there.
  if (!SetCurrentDirectoryW(path.c_str())) return 17;
  const int status = runCameraInfo(systemDevicePlatform());
  if (!SetCurrentDirectoryW(here.c_str())) return 18;
  const std::wstring report = path + L"\\CameraInfo.txt";
  if (!MoveFileExW(report.c_str(), L"CameraInfo.txt",
                   MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(report.c_str());
  }
  for (; path.size() > here.size() + 4; path.resize(path.rfind(L'\\'))) {
    if (!RemoveDirectoryW(path.c_str())) return 18;
  }
  return status;
}

int clash(int count, char** program) {
  const PROCESS_INFORMATION process = start(program, CREATE_SUSPENDED);
  for (int n = 0; n < count; ++n) {
    const std::string name = "CameraInfo.txt." +
                             std::to_string(process.dwProcessId) + "-" +
                             std::to_string(n) + ".tmp";
    const HANDLE file = open(name.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    DWORD written = 0;
    WriteFile(file, "theirs", 6, &written, nullptr);
    CloseHandle(file);
  }
  ResumeThread(process.hThread);
  return finish(process.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "hold" && argc > 5) {
    return hold(argv[2], argv[3], argv[4], argv + 5);
  }
  if (what == "break" && argc > 2) return interrupt(argv[2]);
  if (what == "deep") return deep();
  if (what == "clash" && argc > 3) return clash(std::atoi(argv[2]), argv + 3);
  if (what == "overwrite" && argc > 3) {
    const HANDLE file = open(argv[2], GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 14;
    overwriteFile(file, std::string(std::strtoul(argv[3], nullptr, 10), 'x'));
    CloseHandle(file);
    return 0;
  }
  return 2;
}
