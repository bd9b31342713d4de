// Starts the built camera-info as a process, in a fresh directory, the way a
// user or a script does, and checks what it leaves behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kEmptyReport[] = "{\n   \"version\" : \"1.0.1\"\n}\n";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

class CameraInfoProcess : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    directory_ = fs::temp_directory_path() /
                 ("camera-info-process-" + std::to_string(seed()));
    fs::create_directories(directory_ / "run");
  }
  void TearDown() override {
    fs::permissions(directory_ / "run", fs::perms::owner_all);
    fs::remove_all(directory_);
  }

  fs::path runDirectory() const { return directory_ / "run"; }
  fs::path report() const { return runDirectory() / "CameraInfo.txt"; }

  // Runs the program in runDirectory(), with its output captured in files
  // outside it. `asUser` other than 0 drops root's rights first.
  Outcome run(const std::vector<std::string>& arguments, uid_t asUser = 0) {
    const fs::path out = directory_ / "stdout";
    const fs::path err = directory_ / "stderr";
    const pid_t child = fork();
    if (child == 0) {
      const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
          chdir(runDirectory().c_str()) != 0) {
        _exit(120);
      }
      if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) {
        _exit(121);
      }
      std::vector<char*> argv = {const_cast<char*>(CAMERA_INFO_EXE)};
      for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
      }
      argv.push_back(nullptr);
      execv(CAMERA_INFO_EXE, argv.data());
      _exit(122);
    }
    Outcome outcome;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
      outcome.exitStatus = WEXITSTATUS(status);
    }
    outcome.out = readFile(out);
    outcome.err = readFile(err);
    return outcome;
  }

  fs::path directory_;
};

void expectQuietSuccess(const Outcome& outcome) {
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
}

TEST_F(CameraInfoProcess, WritesTheEmptyReportInTheCurrentDirectory) {
  expectQuietSuccess(run({}));
  const std::string text = readFile(report());
  EXPECT_EQ(text, kEmptyReport);
  EXPECT_EQ(text.size(), 27u);
}

TEST_F(CameraInfoProcess, ReplacesALongerReportWithoutLeftovers) {
  std::ofstream(report(), std::ios::binary) << std::string(4096, '#') << "\r\n";
  expectQuietSuccess(run({}));
  EXPECT_EQ(readFile(report()), kEmptyReport);
}

TEST_F(CameraInfoProcess, IgnoresArguments) {
  const std::vector<std::vector<std::string>> argumentLists = {
      {"--help"}, {"-o", "other.txt"}, {"CameraInfo.txt", "x", ""}};
  for (const auto& arguments : argumentLists) {
    SCOPED_TRACE(arguments.front());
    expectQuietSuccess(run(arguments));
    EXPECT_EQ(readFile(report()), kEmptyReport);
    EXPECT_EQ(std::distance(fs::directory_iterator(runDirectory()),
                            fs::directory_iterator()),
              1);
  }
}

TEST_F(CameraInfoProcess, DirectoryInTheWayGivesNoFileAndStatusZero) {
  fs::create_directory(report());
  expectQuietSuccess(run({}));
  EXPECT_TRUE(fs::is_directory(report()));
  EXPECT_TRUE(fs::is_empty(report()));
}

TEST_F(CameraInfoProcess, ReadOnlyDirectoryGivesNoFileAndStatusZero) {
  const uid_t nobody = 65534;
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  fs::permissions(directory_, fs::perms::owner_all | fs::perms::others_read |
                                  fs::perms::others_exec);
  fs::permissions(runDirectory(), fs::perms::owner_all |
                                      fs::perms::others_read |
                                      fs::perms::others_exec);
  // The captured output must be writable by the unprivileged user.
  for (const char* name : {"stdout", "stderr"}) {
    std::ofstream(directory_ / name).close();
    chown((directory_ / name).c_str(), nobody, nobody);
  }
  expectQuietSuccess(run({}, nobody));
  EXPECT_FALSE(fs::exists(report()));
}

}  // namespace
