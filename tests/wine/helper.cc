// helper: plays the other programs that meet the report, in the Wine cases.
//   hold SHARE MS FILE PROGRAM...  runs PROGRAM while FILE is open for
//                                  reading, shared as SHARE ("-", or any of
//                                  r, w, d), for MS milliseconds ("-": until
//                                  PROGRAM ends)
//   clash COUNT PROGRAM...         runs PROGRAM with the first COUNT names of
//                                  its new file taken by files that hold
//                                  "theirs"
//   overwrite FILE SIZE            overwriteFile() with SIZE bytes on FILE
// Exits with the first status but 0 of a PROGRAM.
// Arguments may hold no space: they are joined into one command line.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/report_file-win32.h"

namespace {

PROCESS_INFORMATION start(char** argv, DWORD flags = 0) {
  std::string line;
  for (; *argv; ++argv) line.append(line.empty() ? "" : " ").append(*argv);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags,
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

int hold(const char* share, const char* ms, const char* name, char** program) {
  const HANDLE file =
      open(name, GENERIC_READ,
           (std::strchr(share, 'r') ? FILE_SHARE_READ : 0) |
               (std::strchr(share, 'w') ? FILE_SHARE_WRITE : 0) |
               (std::strchr(share, 'd') ? FILE_SHARE_DELETE : 0),
           OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return 12;
  const PROCESS_INFORMATION process = start(program);
  if (*ms != '-') Sleep(std::strtoul(ms, nullptr, 10)), CloseHandle(file);
  const int status = finish(process);
  if (*ms == '-') CloseHandle(file);
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
  const std::string what = argc > 3 ? argv[1] : "";
  if (what == "hold" && argc > 5) {
    return hold(argv[2], argv[3], argv[4], argv + 5);
  }
  if (what == "clash") return clash(std::atoi(argv[2]), argv + 3);
  if (what == "overwrite") {
    const HANDLE file = open(argv[2], GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 14;
    overwriteFile(file, std::string(std::strtoul(argv[3], nullptr, 10), 'x'));
    CloseHandle(file);
    return 0;
  }
  return 2;
}
