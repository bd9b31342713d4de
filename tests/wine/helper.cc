// helper: plays the other programs that meet the report, in the Wine cases.
//   hold HOW MS FILE PROGRAM...  runs PROGRAM while FILE is open for reading,
//                                shared as the letters r, w, d of HOW say
//                                (none: not shared); with m FILE is mapped
//                                into memory too, with l its bytes are
//                                locked. With s the run's new file is
//                                opened once it appears, as a scanner that
//                                shares deletion does, and must open; with p
//                                a scanner that does not share deletion
//                                tries to open it until the run ends. FILE
//                                is let go MS milliseconds after the new
//                                file appears ("-": when PROGRAM ends).
//                                Prints "held-window N": the milliseconds
//                                from the new file's appearance to the end.
//   close FILE                   holds FILE without sharing while this
//                                process makes the report, as the program
//                                does, and closes its console when the new
//                                file appears
//   link FILE                    holds FILE sharing reading and writing
//                                while this process makes the report, with
//                                FILE shown as a symbolic link
//   dll-search                   finds planted.dll beside itself, then, once
//                                the program's start-up has run, must not
//   preloader                    runs through Wine's preloader, which keeps
//                                the shared user data's page free
//   clash COUNT PROGRAM...       runs PROGRAM with the first COUNT names of
//                                its new file taken by files that hold
//                                "theirs"
//   overwrite FILE SIZE RESULT [grown]
//                                overwriteFile() with SIZE bytes on FILE,
//                                which must return RESULT (true or false);
//                                with grown another program adds 1000 bytes
//                                to FILE just before it is locked
// Exits with PROGRAM's status, or 10 to 19 where the helper itself failed.
// What it holds is let go when it exits. Arguments may hold no space: they
// are joined into one command line.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/report_file-win32.h"
#include "app/run.h"
#include "app/unattended.h"
#include "discovery/device_platform.h"
#include "replace_import.h"

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
// name, or "" if the run ended first. The minute is only a last resort.
std::string newFileOf(HANDLE process) {
  for (const ULONGLONG end = GetTickCount64() + 60000;
       GetTickCount64() < end;) {
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

struct Scanner {
  std::string file;
  HANDLE process;
};

// Opens the new file as a scanner that does not share deletion, over and
// over until it gets it or the run ends; what it gets it keeps.
DWORD WINAPI scanUntilTheEnd(void* argument) {
  const auto* scanner = static_cast<Scanner*>(argument);
  while (WaitForSingleObject(scanner->process, 0) == WAIT_TIMEOUT) {
    if (open(scanner->file.c_str(), GENERIC_READ,
             FILE_SHARE_READ | FILE_SHARE_WRITE,
             OPEN_EXISTING) != INVALID_HANDLE_VALUE) {
      break;
    }
  }
  return 0;
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
  Scanner scanner = {newFileOf(process), process};
  const ULONGLONG appeared = GetTickCount64();
  if (scanner.file.empty()) return 15;
  if (has('s') && open(scanner.file.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       OPEN_EXISTING) == INVALID_HANDLE_VALUE) {
    return 15;
  }
  if (has('p')) CreateThread(nullptr, 0, scanUntilTheEnd, &scanner, 0, nullptr);
  if (*ms != '-') {
    Sleep(std::strtoul(ms, nullptr, 10));
    CloseHandle(file);
  }
  const int status = finish(process);
  std::printf("held-window %llu\n", GetTickCount64() - appeared);
  return status;
}

// Closing the console as Windows does it: CtrlRoutine, on a thread of the
// process, calls the process's handlers, and once they return the process
// is ended (Wine 8 delivers no console event from outside, and runs
// CtrlRoutine only within the process). Windows ends it with
// STATUS_CONTROL_C_EXIT; here it ends with 0, so that the case's verdict is
// on the files alone.
DWORD WINAPI closeConsoleOnNewFile(void*) {
  newFileOf(GetCurrentProcess());
  const FARPROC routine =
      GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine");
  if (!routine) std::exit(16);
  reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void (*)()>(routine))(
      reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_CLOSE_EVENT)));
  ExitProcess(0);
}

int closeConsole(const char* name) {
  if (open(name, GENERIC_READ, 0, OPEN_EXISTING) == INVALID_HANDLE_VALUE) {
    return 12;
  }
  const HANDLE console =
      CreateThread(nullptr, 0, closeConsoleOnNewFile, nullptr, 0, nullptr);
  runCameraInfo(systemDevicePlatform());
  WaitForSingleObject(console, INFINITE);  // which ends the process
  return 0;
}

decltype(&GetFileInformationByHandle) realGetInformation;

// What Windows shows for a symbolic link opened as itself; Wine 8 makes none.
BOOL WINAPI informationOfALink(HANDLE file, LPBY_HANDLE_FILE_INFORMATION to) {
  const BOOL got = realGetInformation(file, to);
  if (got) to->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return got;
}

int link(const char* name) {
  if (open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
           OPEN_EXISTING) == INVALID_HANDLE_VALUE) {
    return 12;
  }
  realGetInformation =
      replaceImport("GetFileInformationByHandle", &informationOfALink);
  if (!realGetInformation) return 16;
  return runCameraInfo(systemDevicePlatform());
}

// A DLL beside the exe, as in a Downloads folder, is found by name until
// the start-up hardening runs, and not after it.
int dllSearch() {
  const HMODULE before = LoadLibraryW(L"planted.dll");
  if (!before) return 17;
  FreeLibrary(before);
  runUnattended();
  return LoadLibraryW(L"planted.dll") ? 18 : 0;
}

// Wine's preloader reserves the pages Windows programs need before anything
// else can take them; a loader started without it shows no preloader in
// its map. Wine opens files in its server, where /proc/self is the server:
// the map is found by the process's Linux id, which a system call gives.
int preloader() {
  long id = -1;
#if defined(__x86_64__)
  asm volatile("syscall" : "=a"(id) : "a"(39L) : "rcx", "r11", "memory");
#endif
  std::ifstream map("Z:\\proc\\" + std::to_string(id) + "\\maps");
  std::string line;
  while (std::getline(map, line)) {
    if (line.find("wine64-preloader") != std::string::npos) return 0;
  }
  std::printf("no Wine preloader in the map of process %ld\n", id);
  return 18;
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

using LockRange = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, DWORD, DWORD,
                                LPOVERLAPPED);
LockRange realLockFileEx;

// Another program makes the file longer just before the lock is taken.
BOOL WINAPI lockAfterAnotherWrite(HANDLE file, DWORD flags, DWORD reserved,
                                  DWORD low, DWORD high, LPOVERLAPPED where) {
  const HANDLE other = open("CameraInfo.txt", GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  DWORD written = 0;
  SetFilePointer(other, 0, nullptr, FILE_END);
  WriteFile(other, std::string(1000, 'g').data(), 1000, &written, nullptr);
  CloseHandle(other);
  return realLockFileEx(file, flags, reserved, low, high, where);
}

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "hold" && argc > 5) {
    return hold(argv[2], argv[3], argv[4], argv + 5);
  }
  if (what == "close" && argc > 2) return closeConsole(argv[2]);
  if (what == "link" && argc > 2) return link(argv[2]);
  if (what == "dll-search") return dllSearch();
  if (what == "preloader") return preloader();
  if (what == "clash" && argc > 3) return clash(std::atoi(argv[2]), argv + 3);
  if (what == "overwrite" && argc > 4) {
    const HANDLE file = open(argv[2], GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 14;
    const std::string way = argc > 5 ? argv[5] : "";
    if (way == "grown") {
      realLockFileEx =
          replaceImport<LockRange>("LockFileEx", lockAfterAnotherWrite);
      if (!realLockFileEx) return 16;
    }
    const bool result = overwriteFile(
        file, std::string(std::strtoul(argv[3], nullptr, 10), 'x'));
    CloseHandle(file);
    return result == (std::strcmp(argv[4], "true") == 0) ? 0 : 19;
  }
  return 2;
}
