#ifndef CAMERA_INFO_TESTS_SUPPORT_CHILD_PROCESS_H_
#define CAMERA_INFO_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

/// What a finished child process left: its exit status (-1 when it did not
/// exit normally) and everything it wrote to stdout and stderr.
struct ChildOutcome {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

/// Runs `program` with `arguments` in `directory`, its output captured in
/// files under `captureDirectory`, and waits for it. With `asUser` other
/// than 0 the child gives up root's rights first.
ChildOutcome runChild(const std::string& program,
                      const std::vector<std::string>& arguments,
                      const std::filesystem::path& directory,
                      const std::filesystem::path& captureDirectory,
                      uid_t asUser = 0);

/// The whole content of a file; empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

/// A fresh, empty directory under the system's temporary directory.
std::filesystem::path makeTemporaryDirectory(const std::string& prefix);

#endif  // CAMERA_INFO_TESTS_SUPPORT_CHILD_PROCESS_H_
