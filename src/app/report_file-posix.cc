#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/report_file.h"

namespace {

// A file of our own beside the report, removed again unless it has taken the
// report's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& besides) {
    // The name is new, so creating it can never touch somebody else's file.
    for (int attempt = 0; descriptor_ < 0 && attempt < 100; ++attempt) {
      path_ = besides + "." + std::to_string(getpid()) + "-" +
              std::to_string(attempt) + ".tmp";
      descriptor_ =
          open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ < 0) path_.clear();  // not ours: never to be removed
  }
  ~TemporaryFile() {
    if (descriptor_ >= 0) close(descriptor_);
    if (descriptor_ != kRenamed && !path_.empty()) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool writeAll(const std::string& text) {
    if (descriptor_ < 0) return false;
    for (size_t done = 0; done < text.size();) {
      const ssize_t written =
          write(descriptor_, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += static_cast<size_t>(written);
    }
    // On the disk before it takes the report's place.
    return fsync(descriptor_) == 0;
  }

  bool closeAndRenameTo(const char* name) {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (close(descriptor) != 0 || rename(path_.c_str(), name) != 0) {
      return false;
    }
    descriptor_ = kRenamed;
    return true;
  }

 private:
  static constexpr int kRenamed = -2;
  std::string path_;
  int descriptor_ = -1;
};

// A report its owner made read-only stays as it is, as it would if it were
// written in place. A symbolic link is replaced, its target left alone.
bool isWriteProtected(const char* name) {
  struct stat info;
  return lstat(name, &info) == 0 && S_ISREG(info.st_mode) &&
         access(name, W_OK) != 0;
}

}  // namespace

bool replaceReportFile(const char* name, const std::string& text) {
  if (isWriteProtected(name)) return false;
  TemporaryFile file(name);
  return file.writeAll(text) && file.closeAndRenameTo(name);
}
