// helper: plays the other programs that meet the report, in the Wine cases.
//   hold SHARE MS FILE PROGRAM...  runs PROGRAM while FILE is open for reading,
//                                  sharing SHARE ("-", or r, w, d), and lets
//                                  go after MS milliseconds ("-": at its end)
//   clash COUNT PROGRAM...         runs PROGRAM with the first COUNT names of
//                                  its new file taken; they must stay
//   together COUNT PROGRAM...      runs COUNT of PROGRAM at once
//   overwrite FILE SIZE            overwriteFile() with SIZE bytes on FILE
// Exits with the first non-zero status of a PROGRAM, or of its own checks.
// Arguments may hold no space: they are joined into one command line.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/report_file-win32.h"

namespace {

PROCESS_INFORMATION start(char** argv, DWORD flags) {
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

int hold(const char* share, const char* ms, char* file, char** program) {
  const DWORD mode = (std::strchr(share, 'r') ? FILE_SHARE_READ : 0) |
                     (std::strchr(share, 'w') ? FILE_SHARE_WRITE : 0) |
                     (std::strchr(share, 'd') ? FILE_SHARE_DELETE : 0);
  const HANDLE held =
      CreateFileA(file, GENERIC_READ, mode, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 12;
  const PROCESS_INFORMATION process = start(program, 0);
  const bool forGood = std::strcmp(ms, "-") == 0;
  if (!forGood) {
    Sleep(std::strtoul(ms, nullptr, 10));
    CloseHandle(held);
  }
  const int status = finish(process);
  if (forGood) CloseHandle(held);
  return status;
}

int clash(int count, char** program) {
  const PROCESS_INFORMATION process = start(program, CREATE_SUSPENDED);
  std::vector<std::string> names;
  for (int n = 0; n < count; ++n) {
    names.push_back("CameraInfo.txt." + std::to_string(process.dwProcessId) +
                    "-" + std::to_string(n) + ".tmp");
    const HANDLE file = CreateFileA(names.back().c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "theirs", 6, &written, nullptr);
    CloseHandle(file);
  }
  ResumeThread(process.hThread);
  int status = finish(process);
  for (const std::string& name : names) {
    char text[8] = "";
    DWORD read = 0;
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ReadFile(file, text, sizeof text, &read, nullptr);
    CloseHandle(file);
    if (read != 6 || std::memcmp(text, "theirs", 6) != 0) status = 13;
    DeleteFileA(name.c_str());
  }
  return status;
}

int together(int count, char** program) {
  std::vector<PROCESS_INFORMATION> processes;
  for (int n = 0; n < count; ++n) processes.push_back(start(program, 0));
  int status = 0;
  for (const PROCESS_INFORMATION& process : processes) {
    const int ended = finish(process);
    if (status == 0) status = ended;
  }
  return status;
}

int overwrite(const char* name, size_t size) {
  const HANDLE file =
      CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 14;
  overwriteFile(file, std::string(size, 'x'));
  CloseHandle(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 3 ? argv[1] : "";
  if (what == "hold" && argc > 5)
    return hold(argv[2], argv[3], argv[4], argv + 5);
  if (what == "clash") return clash(std::atoi(argv[2]), argv + 3);
  if (what == "together") return together(std::atoi(argv[2]), argv + 3);
  if (what == "overwrite")
    return overwrite(argv[2], std::strtoul(argv[3], nullptr, 10));
  return 2;
}
