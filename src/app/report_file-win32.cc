#include "app/report_file-win32.h"

#include <algorithm>
#include <string>
#include <utility>

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

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void reset(HANDLE handle) {
    close();
    handle_ = handle;
  }
  bool close() {
    return !valid() ||
           CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  HANDLE handle_;
};

bool writeAll(HANDLE file, const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
    DWORD written = 0;
    // A full disk may cut a write short without failing it; the next fails.
    if (!WriteFile(file, data + done, chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool seek(HANDLE file, size_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

bool setLength(HANDLE file, size_t length) {
  return seek(file, length) && SetEndOfFile(file) != FALSE;
}

// How a move fails while another program has the report open.
bool isInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

// A file of our own beside the report, deleted again unless it has taken the
// report's place.
class NewFile {
 public:
  explicit NewFile(const std::wstring& besides) {
    // The name is new, so creating it can never touch somebody else's file.
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = besides + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(attempt) + L".tmp";
      file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_.valid()) return;
      if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    path_.clear();  // not ours: never to be deleted
  }
  ~NewFile() { remove(); }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  /// The whole text, on the disk, and the file closed.
  bool write(const std::string& text) {
    return file_.valid() && writeAll(file_.get(), text.data(), text.size()) &&
           FlushFileBuffers(file_.get()) && file_.close();
  }

  /// Puts the file in the place of `target`. A virus scanner or the indexer
  /// holds a report for a moment, so a move that finds it in use is tried
  /// again, for about a second. Returns the last move's error, or
  /// ERROR_SUCCESS.
  DWORD moveOver(const std::wstring& target) {
    DWORD waited = 0;
    for (DWORD pause = 10;; pause = std::min<DWORD>(2 * pause, 250)) {
      if (MoveFileExW(path_.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        path_.clear();  // the report now
        return ERROR_SUCCESS;
      }
      const DWORD error = GetLastError();
      if (!isInUse(error) || waited >= 1000) return error;
      Sleep(pause);
      waited += pause;
    }
  }

  void remove() {
    file_.close();
    if (!path_.empty()) DeleteFileW(path_.c_str());
    path_.clear();
  }

 private:
  std::wstring path_;
  FileHandle file_;
};

}  // namespace

bool overwriteFile(HANDLE file, const std::string& text) {
  LARGE_INTEGER oldLength;
  if (!GetFileSizeEx(file, &oldLength)) return false;
  const size_t kept =
      std::min(static_cast<size_t>(oldLength.QuadPart), text.size());
  if (kept < text.size() &&
      !(seek(file, kept) &&
        writeAll(file, text.data() + kept, text.size() - kept))) {
    setLength(file, kept);
    return false;
  }
  return seek(file, 0) && writeAll(file, text.data(), kept) &&
         setLength(file, text.size()) && FlushFileBuffers(file);
}

bool replaceReportFile(const char* name, const std::string& text) {
  const std::wstring target(name, name + std::char_traits<char>::length(name));
  const FileSystemRedirectionOff redirectionOff;
  const DWORD found = GetFileAttributesW(target.c_str());
  const DWORD attributes = found == INVALID_FILE_ATTRIBUTES ? 0 : found;
  // A report its owner made read-only stays, as a directory in its place
  // does; waiting would change neither.
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  NewFile file(target);
  if (!file.write(text)) return false;
  const DWORD error = file.moveOver(target);
  if (error == ERROR_SUCCESS) return true;
  // Still held. A holder that lets others write, as readers that follow the
  // report do, lets the text go into the report itself; not through a
  // symbolic link, whose target is not the report.
  if (!isInUse(error) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  const FileHandle report(
      CreateFileW(target.c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!report.valid()) return false;
  file.remove();  // its room on the disk is the room the text needs
  return overwriteFile(report.get(), text);
}
