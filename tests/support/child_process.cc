#include "child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::string readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path makeTemporaryDirectory(const std::string& prefix) {
  std::string pattern =
      (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

ChildOutcome runChild(const std::string& program,
                      const std::vector<std::string>& arguments,
                      const fs::path& directory,
                      const fs::path& captureDirectory, uid_t asUser) {
  const fs::path out = captureDirectory / "stdout";
  const fs::path err = captureDirectory / "stderr";
  const pid_t child = fork();
  if (child == 0) {
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
        chdir(directory.c_str()) != 0) {
      _exit(120);
    }
    if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) _exit(121);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(122);
  }
  ChildOutcome outcome;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    outcome.exitStatus = WEXITSTATUS(status);
  }
  outcome.out = readWholeFile(out);
  outcome.err = readWholeFile(err);
  return outcome;
}
