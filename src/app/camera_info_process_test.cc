// Starts the built camera-info as a process, in a fresh directory, the way a
// user or a script does, and checks what it leaves behind.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "kept_reports.h"

namespace {

namespace fs = std::filesystem;

const char kEmptyReport[] = "{\n   \"version\" : \"1.0.1\"\n}\n";

class CameraInfoProcess : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = makeTemporaryDirectory("camera-info-process");
    ASSERT_FALSE(directory_.empty());
    fs::create_directory(runDirectory());
  }
  void TearDown() override {
    fs::permissions(runDirectory(), fs::perms::owner_all);
    fs::remove_all(directory_);
  }

  fs::path runDirectory() const { return directory_ / "run"; }
  fs::path report() const { return runDirectory() / "CameraInfo.txt"; }

  ChildOutcome run(const std::vector<std::string>& arguments,
                   uid_t asUser = 0) {
    ChildOutcome outcome = runChild(CAMERA_INFO_EXE, arguments, runDirectory(),
                                    directory_, asUser);
    keepReportForSchemaCheck(report());
    return outcome;
  }

  fs::path directory_;
};

void expectQuietSuccess(const ChildOutcome& outcome) {
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
}

TEST_F(CameraInfoProcess, WritesTheEmptyReportInTheCurrentDirectory) {
  expectQuietSuccess(run({}));
  const std::string text = readWholeFile(report());
  EXPECT_EQ(text, kEmptyReport);
  EXPECT_EQ(text.size(), 27u);
}

TEST_F(CameraInfoProcess, ReplacesALongerReportWithoutLeftovers) {
  std::ofstream(report(), std::ios::binary) << std::string(4096, '#') << "\r\n";
  expectQuietSuccess(run({}));
  EXPECT_EQ(readWholeFile(report()), kEmptyReport);
}

TEST_F(CameraInfoProcess, IgnoresArguments) {
  const std::vector<std::vector<std::string>> argumentLists = {
      {"--help"}, {"-o", "other.txt"}, {"CameraInfo.txt", "x", ""}};
  for (const auto& arguments : argumentLists) {
    SCOPED_TRACE(arguments.front());
    expectQuietSuccess(run(arguments));
    EXPECT_EQ(readWholeFile(report()), kEmptyReport);
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
  const fs::perms readOnly =
      fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(directory_, readOnly);
  fs::permissions(runDirectory(), readOnly);
  // The captured output must be writable by the unprivileged user.
  for (const char* name : {"stdout", "stderr"}) {
    std::ofstream(directory_ / name).close();
    ASSERT_EQ(chown((directory_ / name).c_str(), nobody, nobody), 0);
  }
  expectQuietSuccess(run({}, nobody));
  EXPECT_FALSE(fs::exists(report()));
}

}  // namespace
