// fault_sweep: fails each Win32 call of the report's file steps in turn and
// checks that the report survives. For every scenario (no earlier report, a
// longer or a shorter one, one held open by a reader that lets others write,
// which drives the in-place write), every kind of call and every way it can
// fail, call N of that kind fails, for N = 1, 2, ... until a run makes fewer
// than N such calls; once alone and once for good (every later call of the
// kind fails too). Sleep does nothing, so retries cost no time.
// After each run: CameraInfo.txt is the earlier report or the new one, byte
// for byte; no other file is left; replaceReportFile returned true exactly
// when the report is the new one. Only these known limits are let through,
// each checked by its bytes:
//   a failed delete leaves the new file beside the report, earlier or new;
//   an in-place write of a longer text that fails after its tail was
//     written leaves the old length holding the new text's head;
//   an in-place write of a shorter text that fails after the cut leaves the
//     earlier report cut to the new length;
//   an in-place write whose flush loses the bytes leaves zeros at the length
//     of one of the above.
// Prints each run that breaks the promise and a summary; exits 1 if any did.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/report_file.h"
#include "replace_import.h"

namespace {

enum Kind {
  kCreate,
  kWrite,
  kFlush,
  kRename,
  kDelete,
  kSize,
  kLock,
  kEnd,
  kFullPath,
  kAttributes,
  kKinds
};
const char* const kKindNames[kKinds] = {
    "CreateFileW",      "WriteFile",         "FlushFileBuffers", "rename",
    "delete",           "GetFileSizeEx",     "LockFileEx",       "SetEndOfFile",
    "GetFullPathNameW", "GetFileAttributesW"};
// The ways each kind fails; the first is an error status.
const int kWays[kKinds] = {1, 2, 2, 2, 1, 1, 1, 1, 1, 1};
const char* const kSecondWays[kKinds] = {
    "", "a short write that reports success", "the bytes lost",
    "an error other than in use"};

// Which call fails, and what the run has made so far.
struct Plan {
  bool armed = false;
  int kind = -1, way = 0, at = 0;
  bool sticky = false, hit = false;
  int made[kKinds] = {};
};
Plan plan;

// Counts a call of `kind`; true where it is to fail.
bool fails(Kind kind) {
  if (!plan.armed) return false;
  const int n = ++plan.made[kind];
  if (kind != plan.kind || n < plan.at || (n > plan.at && !plan.sticky)) {
    return false;
  }
  plan.hit = true;
  return true;
}

bool failWith(DWORD error) {
  SetLastError(error);
  return false;
}

decltype(&CreateFileW) realCreateFile;
decltype(&WriteFile) realWriteFile;
decltype(&FlushFileBuffers) realFlush;
decltype(&SetFileInformationByHandle) realSetInformation;
decltype(&GetFileSizeEx) realGetFileSize;
decltype(&LockFileEx) realLockFile;
decltype(&SetEndOfFile) realSetEndOfFile;
decltype(&GetFullPathNameW) realGetFullPathName;
decltype(&GetFileAttributesW) realGetFileAttributes;

HANDLE WINAPI createFile(LPCWSTR name, DWORD access, DWORD share,
                         LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags,
                         HANDLE model) {
  if (fails(kCreate)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return realCreateFile(name, access, share, security, how, flags, model);
}

BOOL WINAPI writeFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                      LPOVERLAPPED where) {
  if (!fails(kWrite)) return realWriteFile(file, data, size, written, where);
  if (plan.way == 1) {
    return realWriteFile(file, data, size > 1 ? size / 2 : size, written,
                         where);
  }
  *written = 0;
  return failWith(ERROR_DISK_FULL);
}

BOOL WINAPI flush(HANDLE file) {
  if (!fails(kFlush)) return realFlush(file);
  if (plan.way == 1) {  // what was written never reaches the disk
    LARGE_INTEGER size, start = {};
    DWORD written;
    realGetFileSize(file, &size);
    const std::string zeros(static_cast<size_t>(size.QuadPart), '\0');
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    realWriteFile(file, zeros.data(), static_cast<DWORD>(zeros.size()),
                  &written, nullptr);
  }
  return failWith(ERROR_IO_DEVICE);
}

BOOL WINAPI setInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS what,
                           LPVOID information, DWORD size) {
  const bool rename = what == FileRenameInfo;
  if (fails(rename ? kRename : kDelete)) {
    // A rename meets a reader that holds the report, or fails outright.
    return failWith(rename && plan.way == 0 ? ERROR_SHARING_VIOLATION
                                            : ERROR_IO_DEVICE);
  }
  return realSetInformation(file, what, information, size);
}

BOOL WINAPI getFileSize(HANDLE file, PLARGE_INTEGER size) {
  return fails(kSize) ? failWith(ERROR_IO_DEVICE) : realGetFileSize(file, size);
}

BOOL WINAPI lockFile(HANDLE file, DWORD flags, DWORD reserved, DWORD low,
                     DWORD high, LPOVERLAPPED where) {
  return fails(kLock) ? failWith(ERROR_LOCK_VIOLATION)
                      : realLockFile(file, flags, reserved, low, high, where);
}

BOOL WINAPI setEndOfFile(HANDLE file) {
  return fails(kEnd) ? failWith(ERROR_USER_MAPPED_FILE)
                     : realSetEndOfFile(file);
}

DWORD WINAPI getFullPathName(LPCWSTR name, DWORD size, LPWSTR path,
                             LPWSTR* part) {
  if (fails(kFullPath)) return failWith(ERROR_FILENAME_EXCED_RANGE);
  return realGetFullPathName(name, size, path, part);
}

DWORD WINAPI getFileAttributes(LPCWSTR name) {
  if (fails(kAttributes)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
  }
  return realGetFileAttributes(name);
}

void WINAPI noPause(DWORD) {}

struct Scenario {
  const char* name;
  int earlier;  // its size in bytes, or -1: none
  bool held;
};
const Scenario kScenarios[] = {
    {"no earlier report", -1, false},
    {"an earlier longer report", 10000, false},
    {"an earlier shorter report", 8, false},
    {"an earlier shorter report, held", 8, true},
    {"an earlier longer report, held", 10000, true},
};

std::string contentsOf(const wchar_t* name, bool* found) {
  const HANDLE file = realCreateFile(name, GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  *found = file != INVALID_HANDLE_VALUE;
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (*found && ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    text.append(buffer, got);
  }
  if (*found) CloseHandle(file);
  return text;
}

void write(const wchar_t* name, const std::string& text) {
  const HANDLE file = realCreateFile(name, GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  realWriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
  CloseHandle(file);
}

// The files here other than the report; each is deleted.
std::vector<std::string> othersRemoved() {
  std::vector<std::string> others;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA("*", &found);
  if (search == INVALID_HANDLE_VALUE) return others;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == ".." || name == "CameraInfo.txt") continue;
    others.push_back(name);
    DeleteFileA(name.c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return others;
}

bool allZero(const std::string& text) {
  return text.find_first_not_of('\0') == std::string::npos;
}

// Why the run broke the promise, or "" where it kept it.
std::string judge(const Scenario& scenario, const std::string& earlier,
                  const std::string& text, bool result) {
  bool found;
  const std::string report = contentsOf(L"CameraInfo.txt", &found);
  const std::vector<std::string> others = othersRemoved();
  DeleteFileW(L"CameraInfo.txt");
  const bool isNew = found && report == text;
  const bool isEarlier =
      scenario.earlier < 0 ? !found : found && report == earlier;
  // False with the new report is fair: a flush that failed after the last
  // write leaves the text there, but nothing vouches for it.
  if (result && !isNew) return "true, but not the new report";
  const std::string ours =
      "CameraInfo.txt." + std::to_string(GetCurrentProcessId()) + "-0.tmp";
  if (plan.kind == kDelete && others == std::vector<std::string>{ours} &&
      (isEarlier || isNew)) {
    return "";  // the failed delete: its file stays beside the report
  }
  if (!others.empty()) return "left " + others[0];
  if (isNew || isEarlier) return "";
  const size_t kept = std::min(earlier.size(), text.size());
  if (scenario.held && report.size() == kept &&
      (report == text.substr(0, kept) || report == earlier.substr(0, kept) ||
       (plan.kind == kFlush && plan.way == 1 && allZero(report)))) {
    return "";  // a failed write in place, after the first change
  }
  return found ? "a report of " + std::to_string(report.size()) +
                     " bytes that is neither"
               : "no report";
}

}  // namespace

int main() {
  realCreateFile = replaceImport("CreateFileW", &createFile);
  realWriteFile = replaceImport("WriteFile", &writeFile);
  realFlush = replaceImport("FlushFileBuffers", &flush);
  realSetInformation =
      replaceImport("SetFileInformationByHandle", &setInformation);
  realGetFileSize = replaceImport("GetFileSizeEx", &getFileSize);
  realLockFile = replaceImport("LockFileEx", &lockFile);
  realSetEndOfFile = replaceImport("SetEndOfFile", &setEndOfFile);
  realGetFullPathName = replaceImport("GetFullPathNameW", &getFullPathName);
  realGetFileAttributes =
      replaceImport("GetFileAttributesW", &getFileAttributes);
  replaceImport("Sleep", &noPause);

  const std::string dir =
      "fault-sweep." + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(dir.c_str(), nullptr) ||
      !SetCurrentDirectoryA(dir.c_str())) {
    return 2;
  }
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('A' + i % 26);
  const ULONGLONG started = GetTickCount64();
  int runs = 0, broken = 0;
  for (const Scenario& scenario : kScenarios) {
    const std::string earlier(
        static_cast<size_t>(std::max(scenario.earlier, 0)), 'o');
    for (int kind = 0; kind < kKinds; ++kind) {
      for (int way = 0; way < kWays[kind]; ++way) {
        for (const bool sticky : {false, true}) {
          for (int at = 1;; ++at) {
            if (scenario.earlier >= 0) write(L"CameraInfo.txt", earlier);
            // A reader that lets others write: the rename cannot replace
            // the report, the in-place write can.
            const HANDLE reader =
                scenario.held
                    ? realCreateFile(L"CameraInfo.txt", GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr)
                    : INVALID_HANDLE_VALUE;
            plan = Plan{true, kind, way, at, sticky};
            const bool result = replaceReportFile("CameraInfo.txt", text);
            plan.armed = false;
            if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
            const bool hit = plan.hit;
            const std::string why = judge(scenario, earlier, text, result);
            ++runs;
            if (!why.empty()) {
              ++broken;
              std::printf("FAIL %s: %s call %d%s fails%s%s: %s\n",
                          scenario.name, kKindNames[kind], at,
                          sticky ? " and every later one" : "",
                          way ? ", as " : "", way ? kSecondWays[kind] : "",
                          why.c_str());
            }
            if (!hit) break;
          }
        }
      }
    }
  }
  SetCurrentDirectoryA("..");
  RemoveDirectoryA(dir.c_str());
  std::printf("fault sweep: %d runs, %d broke the promise, %llu ms\n", runs,
              broken, GetTickCount64() - started);
  return broken == 0 ? 0 : 1;
}
