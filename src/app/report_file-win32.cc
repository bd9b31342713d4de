#include "app/report_file-win32.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/kernel32-win32.h"
#include "app/report_file.h"

namespace {

// A 32-bit program on 64-bit Windows sees system32 redirected to syswow64.
// The report belongs in the directory the user is in, so redirection is off
// while the report's files are handled. The calls are looked up at run time:
// systems without WoW64 do not have them.
class FileSystemRedirectionOff {
 public:
  FileSystemRedirectionOff() {
    if (const auto disable =
            kernel32Call<decltype(&Wow64DisableWow64FsRedirection)>(
                "Wow64DisableWow64FsRedirection")) {
      disabled_ = disable(&previous_) != FALSE;
    }
  }
  ~FileSystemRedirectionOff() {
    if (!disabled_) return;
    if (const auto revert =
            kernel32Call<decltype(&Wow64RevertWow64FsRedirection)>(
                "Wow64RevertWow64FsRedirection")) {
      revert(previous_);
    }
  }
  FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
  FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;

 private:
  PVOID previous_ = nullptr;
  bool disabled_ = false;
};

// Ctrl+C, Ctrl+Break and closing the console window end a process without
// running its destructors, which would leave the new file or half a report.
// While the files are handled, the handler (on a thread of its own) holds
// the end back until they are done; the steps are bounded (about a second
// of retries), and the run ends right after them.
std::atomic<bool> handlingFiles{false};

BOOL WINAPI waitForTheFiles(DWORD) {
  while (handlingFiles.load()) Sleep(10);
  return TRUE;
}

class InterruptsHeldBack {
 public:
  InterruptsHeldBack() {
    handlingFiles = true;
    installed_ = SetConsoleCtrlHandler(waitForTheFiles, TRUE) != FALSE;
  }
  ~InterruptsHeldBack() {
    handlingFiles = false;
    if (installed_) SetConsoleCtrlHandler(waitForTheFiles, FALSE);
  }
  InterruptsHeldBack(const InterruptsHeldBack&) = delete;
  InterruptsHeldBack& operator=(const InterruptsHeldBack&) = delete;

 private:
  bool installed_ = false;
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
  void close() {
    if (valid()) CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

 private:
  HANDLE handle_;
};

// Every write names its offset and every cut its length, so that no step
// depends on where an earlier one, failed or not, left the file pointer.
bool writeAll(HANDLE file, uint64_t offset, const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
    const uint64_t at = offset + done;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD written = 0;
    // A full disk may cut a write short without failing it; the next fails.
    if (!WriteFile(file, data + done, chunk, &written, &where) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Lengths are 64-bit: a 32-bit size_t wraps at 4 GiB.
bool setLength(HANDLE file, uint64_t length) {
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end,
                                    sizeof end) != FALSE;
}

// Whether the open report is the report itself: not a link to somebody
// else's file (a symbolic link, opened as itself, or one of several hard
// links), which an elevated run must not write into.
bool isOnlyName(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(file, &information) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         information.nNumberOfLinks == 1;
}

// How a rename fails while another program has the report open.
bool isInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

// The full path of `name` in the current directory, as \\?\C:\... or
// \\?\UNC\server\share\..., which no step holds to MAX_PATH; empty if there
// is none.
std::wstring fullPath(const std::wstring& name) {
  std::wstring path(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD size = GetFullPathNameW(
      name.c_str(), static_cast<DWORD>(path.size()), &path[0], nullptr);
  if (size == 0 || size >= path.size()) return {};
  path.resize(size);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

// A file of our own beside the report. Its handle is kept until the file is
// the report or gone; it shares reading only, so another program that opens
// it (an indexer, a sync client) must share deletion and cannot stop it
// from being renamed or removed.
class NewFile {
 public:
  explicit NewFile(const std::wstring& besides) {
    // The name is new, so creating it can never touch somebody else's file.
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::wstring path = besides + L"." +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(attempt) + L".tmp";
      file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      // A name that is taken, or whose file waits to be deleted (access
      // denied), is skipped.
      const DWORD error = GetLastError();
      if (file_.valid() ||
          (error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED)) {
        return;
      }
    }
  }
  ~NewFile() { remove(); }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  /// The whole text, on the disk.
  bool write(const std::string& text) {
    return file_.valid() &&
           writeAll(file_.get(), 0, text.data(), text.size()) &&
           FlushFileBuffers(file_.get());
  }

  /// Renames the file to `target`, a \\?\ path, replacing what is there. A
  /// virus scanner or the indexer holds a report for a moment, so a rename
  /// that finds it in use is tried again, for about a second. Returns the
  /// last rename's error, or ERROR_SUCCESS.
  DWORD renameOver(const std::wstring& target) {
    // The handle's rename takes the native form of the path: \??\C:\...
    const std::wstring native = L"\\??\\" + target.substr(4);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) +
                             native.size() * sizeof(wchar_t));
    auto* const rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength =
        static_cast<DWORD>(native.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, native.c_str(),
                (native.size() + 1) * sizeof(wchar_t));
    DWORD waited = 0;
    for (DWORD pause = 10;; pause = std::min<DWORD>(2 * pause, 250)) {
      if (SetFileInformationByHandle(file_.get(), FileRenameInfo, rename,
                                     static_cast<DWORD>(buffer.size()))) {
        file_.close();  // the report now
        return ERROR_SUCCESS;
      }
      const DWORD error = GetLastError();
      if (!isInUse(error) || waited >= 1000) return error;
      Sleep(pause);
      waited += pause;
    }
  }

  /// Deletes the file, if it is still ours, through its handle. Where the
  /// system can (Windows 10 1709 and later, on NTFS) the name goes at once,
  /// even while a scanner holds the file; elsewhere it goes when the last
  /// handle to it closes.
  void remove() {
    if (!file_.valid()) return;
    // FileDispositionInfoEx and its flags, which the Vista headers lack.
    const auto dispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    struct {
      DWORD Flags;
    } posixDelete = {0x1 | 0x2};  // DELETE | POSIX_SEMANTICS
    if (!SetFileInformationByHandle(file_.get(), dispositionEx, &posixDelete,
                                    sizeof posixDelete)) {
      FILE_DISPOSITION_INFO disposition = {TRUE};
      SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                 sizeof disposition);
    }
    file_.close();
  }

 private:
  FileHandle file_;
};

}  // namespace

namespace {

bool overwriteLocked(HANDLE file, const std::string& text) {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file, &length)) return false;
  const uint64_t oldSize = static_cast<uint64_t>(length.QuadPart);
  const uint64_t newSize = text.size();
  if (newSize < oldSize) {
    // A file that a reader has mapped cannot be cut: that shows before any
    // byte has changed.
    return setLength(file, newSize) &&
           writeAll(file, 0, text.data(), text.size()) &&
           FlushFileBuffers(file);
  }
  // A disk without room for the part past the old end fails before any
  // earlier byte has changed. Whatever fails, the file goes back to its old
  // length, so that no new tail follows old bytes. The lock keeps others
  // from writing past the end, so the text's end is the file's end.
  const size_t kept = static_cast<size_t>(oldSize);
  const bool written =
      writeAll(file, oldSize, text.data() + kept, text.size() - kept) &&
      writeAll(file, 0, text.data(), kept) && FlushFileBuffers(file);
  if (!written) setLength(file, oldSize);
  return written;
}

}  // namespace

bool overwriteFile(HANDLE file, const std::string& text) {
  // Another program's lock on any byte would stop a write halfway: the
  // whole file is ours first, or the report stays as it is. Its size is
  // read under the lock, where nobody else can change it.
  OVERLAPPED whole = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                  MAXDWORD, MAXDWORD, &whole)) {
    return false;
  }
  const bool written = overwriteLocked(file, text);
  UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  return written;
}

bool replaceReportFile(const char* name, const std::string& text) {
  const InterruptsHeldBack interruptsHeldBack;
  const FileSystemRedirectionOff redirectionOff;
  const std::wstring target =
      fullPath(std::wstring(name, name + std::char_traits<char>::length(name)));
  if (target.empty()) return false;
  // A report its owner made read-only stays, as a directory in its place
  // does; waiting would change neither.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  NewFile file(target);
  if (!file.write(text)) return false;
  const DWORD error = file.renameOver(target);
  if (error == ERROR_SUCCESS) return true;
  // Still held. A holder that lets others write, as readers that follow the
  // report do, lets the text go into the report itself, unless the name
  // leads to another file too.
  if (!isInUse(error)) return false;
  const FileHandle report(CreateFileW(
      target.c_str(), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!report.valid() || !isOnlyName(report.get())) return false;
  file.remove();  // its room on the disk is the room the text needs
  return overwriteFile(report.get(), text);
}
