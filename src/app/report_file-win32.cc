#include <windows.h>

#include <algorithm>
#include <string>

#include "app/report_file.h"

namespace {

// A 32-bit program on 64-bit Windows sees system32 redirected to syswow64.
// The report belongs in the directory the user is in, so redirection is off
// while the report's files are handled. The calls are looked up at run time:
// systems without WoW64 do not have them.
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff() {
    using Disable = BOOL(WINAPI*)(PVOID*);
    if (const auto disable =
            lookUp<Disable>("Wow64DisableWow64FsRedirection")) {
      disabled_ = disable(&previous_) != FALSE;
    }
  }
  ~FileSystemRedirectionOff() {
    using Revert = BOOL(WINAPI*)(PVOID);
    if (!disabled_) return;
    if (const auto revert = lookUp<Revert>("Wow64RevertWow64FsRedirection")) {
      revert(previous_);
    }
  }
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  template <typename Function>
  static Function lookUp(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, name) : nullptr;
    // Through void(*)(): a cast between function pointer types as such.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
  }

  PVOID previous_ = nullptr;
  bool disabled_ = false;
};

// A file of our own beside the report, deleted again unless it has taken the
// report's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& besides) {
    // The name is new, so creating it can never touch somebody else's file.
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = besides + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(attempt) + L".tmp";
      handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE) return;
      if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    path_.clear();
  }
  ~TemporaryFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!renamed_ && !path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool writeAll(const std::string& text) {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    for (size_t done = 0; done < text.size();) {
      const DWORD chunk =
          static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
      DWORD written = 0;
      if (!WriteFile(handle_, text.data() + done, chunk, &written, nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    // On the disk before it takes the report's place.
    return FlushFileBuffers(handle_) != FALSE;
  }

  bool closeAndMoveTo(const std::wstring& name) {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    renamed_ = CloseHandle(handle) &&
               MoveFileExW(path_.c_str(), name.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return renamed_;
  }

 private:
  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool renamed_ = false;
};

}  // namespace

bool replaceReportFile(const char* name, const std::string& text) {
  const std::wstring wideName(name,
                              name + std::char_traits<char>::length(name));
  const FileSystemRedirectionOff redirectionOff;
  TemporaryFile file(wideName);
  return file.writeAll(text) && file.closeAndMoveTo(wideName);
}
