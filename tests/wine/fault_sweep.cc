// fault_sweep: fails each Win32 call of the report's file steps in turn and
// checks that the report survives. For every scenario (no earlier report, a
// longer or a shorter one, one held open by a reader that lets others write,
// which drives the in-place write), every kind of call and every way it can
// fail, call N of that kind fails, for N = 1, 2, ... until a run makes fewer
// than N such calls; once alone and once for good (every later call of the
// kind fails too). Sleep does nothing, so retries cost no time.
// After each run the outcome must be one that docs/report-file.md promises
// for the call that failed (judge() below says which); a run in which no
// call failed must give the new report and true. Prints each run that
// breaks the promise and a summary; exits 1 if any did.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
  kInformation,
  kKinds
};
// Each kind's name, and its second way to fail, if it has one (the first is
// an error status).
const char* const kKindWays[kKinds][2] = {
    {"CreateFileW", nullptr},
    {"WriteFile", "a short write that reports success"},
    {"FlushFileBuffers", "the bytes lost"},
    {"rename", "an error other than in use"},
    {"delete", nullptr},
    {"GetFileSizeEx", nullptr},
    {"LockFileEx", nullptr},
    {"the cut", nullptr},
    {"GetFullPathNameW", nullptr},
    {"GetFileAttributesW", nullptr},
    {"GetFileInformationByHandle", nullptr}};

// Which call fails, and what the run has made so far.
struct Plan {
  bool armed = false;
  int kind = -1, way = 0, at = 0;
  bool sticky = false, hit = false;
  int made[kKinds] = {};
  HANDLE report = nullptr;  // the report, where it is written in place
  bool changed = false;     // whether a byte or the length of it changed
  bool hitAfterChange = false;
};
Plan plan;

// Counts a call of `kind`; true where it is to fail.
bool fails(Kind kind) {
  if (!plan.armed) return false;
  const int n = ++plan.made[kind];
  if (kind != plan.kind || n < plan.at || (n > plan.at && !plan.sticky)) {
    return false;
  }
  if (!plan.hit) plan.hitAfterChange = plan.changed;
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
decltype(&GetFullPathNameW) realGetFullPathName;
decltype(&GetFileAttributesW) realGetFileAttributes;
decltype(&GetFileInformationByHandle) realGetInformation;

HANDLE WINAPI createFile(LPCWSTR name, DWORD access, DWORD share,
                         LPSECURITY_ATTRIBUTES security, DWORD how, DWORD flags,
                         HANDLE model) {
  if (fails(kCreate)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE file =
      realCreateFile(name, access, share, security, how, flags, model);
  if (how == OPEN_EXISTING) plan.report = file;
  return file;
}

BOOL WINAPI writeFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                      LPOVERLAPPED where) {
  const bool fail = fails(kWrite);
  plan.changed |= file == plan.report;
  if (!fail) return realWriteFile(file, data, size, written, where);
  if (plan.way == 1) {
    return realWriteFile(file, data, size > 1 ? size / 2 : size, written,
                         where);
  }
  // A full disk takes what fits, then refuses the rest.
  realWriteFile(file, data, size / 2, written, where);
  return failWith(ERROR_DISK_FULL);
}

BOOL WINAPI flush(HANDLE file) {
  if (!fails(kFlush)) return realFlush(file);
  if (plan.way == 1) {  // what was written never reaches the disk
    LARGE_INTEGER size;
    OVERLAPPED start = {};
    DWORD written;
    realGetFileSize(file, &size);
    const std::string zeros(static_cast<size_t>(size.QuadPart), '\0');
    realWriteFile(file, zeros.data(), static_cast<DWORD>(zeros.size()),
                  &written, &start);
  }
  return failWith(ERROR_IO_DEVICE);
}

BOOL WINAPI setInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS what,
                           LPVOID information, DWORD size) {
  const Kind kind = what == FileRenameInfo      ? kRename
                    : what == FileEndOfFileInfo ? kEnd
                                                : kDelete;
  if (fails(kind)) {
    // A rename meets a reader that holds the report, or fails outright; a
    // cut meets a reader that has mapped the file.
    return failWith(kind == kRename && plan.way == 0 ? ERROR_SHARING_VIOLATION
                    : kind == kEnd                   ? ERROR_USER_MAPPED_FILE
                                                     : ERROR_IO_DEVICE);
  }
  plan.changed |= kind == kEnd && file == plan.report;
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

BOOL WINAPI getInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION to) {
  return fails(kInformation) ? failWith(ERROR_IO_DEVICE)
                             : realGetInformation(file, to);
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

std::string contentsOf(const char* name) {
  std::ifstream file(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// The files here other than the report; each is deleted.
std::vector<std::string> othersRemoved() {
  std::vector<std::string> others;
  for (const auto& file : std::filesystem::directory_iterator(".")) {
    const std::string name = file.path().filename().string();
    if (name == "CameraInfo.txt") continue;
    others.push_back(name);
    std::filesystem::remove(file);
  }
  return others;
}

bool allZero(const std::string& text) {
  return text.find_first_not_of('\0') == std::string::npos;
}

// Why the run broke the promise, or "" where it kept it.
std::string judge(const Scenario& scenario, const std::string& earlier,
                  const std::string& text, bool result) {
  const bool found = std::filesystem::exists("CameraInfo.txt");
  const std::string report = contentsOf("CameraInfo.txt");
  const std::vector<std::string> others = othersRemoved();
  std::filesystem::remove("CameraInfo.txt");
  const bool isNew = found && report == text;
  const bool isEarlier =
      scenario.earlier < 0 ? !found : found && report == earlier;
  const bool replaced = isNew && result && others.empty();
  // What the steps get over: a name refused once is skipped, a rename that
  // meets a holder once is tried again.
  const bool overcome =
      plan.at == 1 && !plan.sticky &&
      (plan.kind == kCreate || (plan.kind == kRename && plan.way == 0));
  if (!plan.hit || overcome) return replaced ? "" : "not replaced";
  if (result && !isNew) return "true, but not the new report";
  // A flush that failed after the last write leaves the text, unvouched.
  if (!result && isNew && plan.kind != kFlush) return "false, but replaced";
  const std::string ours =
      "CameraInfo.txt." + std::to_string(GetCurrentProcessId()) + "-0.tmp";
  if (plan.kind == kDelete && others == std::vector<std::string>{ours} &&
      (isEarlier || isNew)) {
    return "";  // the failed delete: its file stays beside the report
  }
  if (!others.empty()) return "left " + others[0];
  if (isNew || isEarlier) return "";
  // A write or flush into the report that fails after its first change (the
  // cut to a shorter text, or a part of a longer one written): at the
  // shorter length, the new text's head and then the earlier bytes, or
  // zeros where the flush lost them.
  const size_t kept = std::min(earlier.size(), text.size());
  const auto head = static_cast<size_t>(
      std::mismatch(report.begin(), report.end(), text.begin(), text.end())
          .first -
      report.begin());
  if (scenario.held && plan.hitAfterChange &&
      (plan.kind == kWrite || plan.kind == kFlush) && report.size() == kept &&
      (report.compare(head, std::string::npos, earlier, head, kept - head) ==
           0 ||
       (plan.kind == kFlush && plan.way == 1 && allZero(report)))) {
    return "";
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
  realGetInformation =
      replaceImport("GetFileInformationByHandle", &getInformation);
  realGetFullPathName = replaceImport("GetFullPathNameW", &getFullPathName);
  realGetFileAttributes =
      replaceImport("GetFileAttributesW", &getFileAttributes);
  replaceImport("Sleep", &noPause);

  const std::filesystem::path dir =
      "fault-sweep." + std::to_string(GetCurrentProcessId());
  std::filesystem::create_directory(dir);
  std::filesystem::current_path(dir);
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('A' + i % 26);
  const ULONGLONG started = GetTickCount64();
  int runs = 0, broken = 0;
  for (const Scenario& scenario : kScenarios) {
    const std::string earlier(
        static_cast<size_t>(std::max(scenario.earlier, 0)), 'o');
    for (int kind = 0; kind < kKinds; ++kind) {
      for (int way = 0; way < (kKindWays[kind][1] ? 2 : 1); ++way) {
        for (const bool sticky : {false, true}) {
          for (int at = 1;; ++at) {
            if (scenario.earlier >= 0) {
              std::ofstream("CameraInfo.txt", std::ios::binary) << earlier;
            }
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
                          scenario.name, kKindWays[kind][0], at,
                          sticky ? " and every later one" : "",
                          way ? ", as " : "", way ? kKindWays[kind][1] : "",
                          why.c_str());
            }
            if (!hit) break;
          }
        }
      }
    }
  }
  std::filesystem::current_path("..");
  std::filesystem::remove(dir);
  std::printf("fault sweep: %d runs, %d broke the promise, %llu ms\n", runs,
              broken, GetTickCount64() - started);
  return broken == 0 ? 0 : 1;
}
