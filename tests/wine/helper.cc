// helper: plays the other programs that meet the report, in the Wine cases.
// FILE is opened for reading; PROGRAM... is the command line of the run.
//   hold SHARE MS FILE PROGRAM...  runs PROGRAM while FILE is open, shared as
//                                  SHARE ("-", or any of r, w, d), until MS
//                                  milliseconds after the run's new file
//                                  appears ("-": until PROGRAM ends)
//   hold-new FILE PROGRAM...       holds FILE without sharing; when the new
//                                  file appears, opens it as a scanner does
//                                  (sharing reading and writing) and keeps it
//                                  open, and lets go of FILE 300 ms later
//   map FILE PROGRAM...            runs PROGRAM while FILE is mapped into
//                                  memory, shared as rwd
//   lock FILE PROGRAM...           runs PROGRAM while FILE, shared as rwd,
//                                  has a shared lock over the bytes it has
//   break FILE                     holds FILE without sharing while this
//                                  process makes the report, as the program
//                                  does, and sends it Ctrl+Break when the new
//                                  file appears
//   deep                           makes the report, as the program does, in
//                                  a directory whose path is longer than
//                                  MAX_PATH, made here, then moves it here
//                                  and removes the directory
//   clash COUNT PROGRAM...         runs PROGRAM with the first COUNT names of
//                                  its new file taken by files that hold
//                                  "theirs"
//   overwrite FILE SIZE            overwriteFile() with SIZE bytes on FILE
// Exits with the first status but 0 of a PROGRAM, or 10 to 19 where the
// helper itself failed.
// Arguments may hold no space: they are joined into one command line.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/report_file-win32.h"
#include "app/run.h"
#include "discovery/device_platform.h"

namespace {

PROCESS_INFORMATION start(char** argv, DWORD flags = 0) {
  std::wstring line;
  for (; *argv; ++argv) {
    if (!line.empty()) line += L' ';
    for (const char* c = *argv; *c; ++c) line += static_cast<wchar_t>(*c);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, flags,
                      nullptr, nullptr, &startup, &process)) {
    std::exit(10);
  }
  return process;
}

int finish(const PROCESS_INFORMATION& process) {
  DWORD status = 11;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

HANDLE open(const char* name, DWORD access, DWORD share, DWORD how) {
  return CreateFileA(name, access, share, nullptr, how, 0, nullptr);
}

HANDLE openShared(const char* name, const char* share) {
  const HANDLE file =
      open(name, GENERIC_READ,
           (std::strchr(share, 'r') ? FILE_SHARE_READ : 0) |
               (std::strchr(share, 'w') ? FILE_SHARE_WRITE : 0) |
               (std::strchr(share, 'd') ? FILE_SHARE_DELETE : 0),
           OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) std::exit(12);
  return file;
}

// Waits until the run's new file appears beside the report; returns its
// name, or "" if the run ended first or 5 s went by.
std::string newFileOf(const PROCESS_INFORMATION& process) {
  for (const ULONGLONG end = GetTickCount64() + 5000; GetTickCount64() < end;) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA("CameraInfo.txt.*.tmp", &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      return found.cFileName;
    }
    if (WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT) break;
  }
  return "";
}

int hold(const char* share, const char* ms, const char* name, char** program) {
  const HANDLE file = openShared(name, share);
  const PROCESS_INFORMATION process = start(program);
  if (*ms != '-') {
    newFileOf(process);
    Sleep(std::strtoul(ms, nullptr, 10));
    CloseHandle(file);
  }
  const int status = finish(process);
  if (*ms == '-') CloseHandle(file);
  return status;
}

int holdNew(const char* name, char** program) {
  const HANDLE file = openShared(name, "-");
  const PROCESS_INFORMATION process = start(program);
  const std::string newFile = newFileOf(process);
  // Whether the scanner gets it is up to the run; it tries, as they do.
  const HANDLE scanned =
      newFile.empty() ? INVALID_HANDLE_VALUE
                      : open(newFile.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  Sleep(300);
  CloseHandle(file);
  const int status = finish(process);
  if (scanned != INVALID_HANDLE_VALUE) CloseHandle(scanned);
  return status;
}

int map(const char* name, char** program) {
  const HANDLE file = openShared(name, "rwd");
  const HANDLE mapping =
      CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* view =
      mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (!view) return 13;
  const int status = finish(start(program));
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(file);
  return status;
}

int lock(const char* name, char** program) {
  const HANDLE file = openShared(name, "rwd");
  // The bytes it reads, as a reader locks them.
  const DWORD size = GetFileSize(file, nullptr);
  OVERLAPPED head = {};
  if (!LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, size, 0, &head)) {
    return 13;
  }
  const int status = finish(start(program));
  UnlockFileEx(file, 0, size, 0, &head);
  CloseHandle(file);
  return status;
}

// Ctrl+Break as the console delivers it: a new thread of the process at
// CtrlRoutine, which calls the process's handlers (Wine 8 delivers no
// GenerateConsoleCtrlEvent, and such a thread only within the process).
DWORD WINAPI sendBreakOnNewFile(void* process) {
  newFileOf(*static_cast<PROCESS_INFORMATION*>(process));
  const FARPROC routine =
      GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine");
  if (!routine) std::exit(16);
  const HANDLE thread = CreateThread(
      nullptr, 0,
      reinterpret_cast<LPTHREAD_START_ROUTINE>(
          reinterpret_cast<void (*)()>(routine)),
      reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_BREAK_EVENT)), 0,
      nullptr);
  if (!thread) std::exit(16);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return 0;
}

int interrupt(const char* name) {
  const HANDLE file = openShared(name, "-");
  PROCESS_INFORMATION self = {};
  self.hProcess = GetCurrentProcess();
  const HANDLE sender =
      CreateThread(nullptr, 0, sendBreakOnNewFile, &self, 0, nullptr);
  if (!sender) return 16;
  runCameraInfo(systemDevicePlatform());
  WaitForSingleObject(sender, INFINITE);
  CloseHandle(sender);
  CloseHandle(file);
  return 0;
}

int deep() {
  // Twenty levels of 15 characters: 300 more than the current directory's.
  std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
  path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), &path[0]));
  const std::wstring here = path;
  path.insert(0, L"\\\\?\\");
  for (int level = 0; level < 20; ++level) {
    path += L"\\deep-directory";
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
  return finish(process);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "hold" && argc > 5) {
    return hold(argv[2], argv[3], argv[4], argv + 5);
  }
  if (what == "hold-new" && argc > 3) return holdNew(argv[2], argv + 3);
  if (what == "map" && argc > 3) return map(argv[2], argv + 3);
  if (what == "lock" && argc > 3) return lock(argv[2], argv + 3);
  if (what == "break") return interrupt(argv[2]);
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
