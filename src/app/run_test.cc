#include "app/run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "discovery/fake_device_platform.h"

// GCC pairs the replaced operator delete's free() with the library's new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
long allocations = 0;
long failingAllocation = 0;  // 0: none fails
}  // namespace

void* operator new(size_t size) {
  if (failingAllocation != 0 && ++allocations == failingAllocation) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A nameless device between cameras with non-ASCII, quotes, a backslash.
const std::vector<FakeDevice> kDevices = {
    {u"display#int3470#4&1835d135&0&uid13424#global", u"Integrated Camera",
     u"Integrated Camera \u00e9\u4e2d\xd83d\xde00"},
    {u"sw#nameless", {}, {}},
    {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"USB Video",
     u"HD Webcam C270"},
    {u"C:\\cam/\t1", u"Cam \"Pro\"", {}}};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each test runs in a fresh directory: the report goes to the current one.
class RunCameraInfo : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::path(testing::TempDir()) /
                 ("camera-info-run-" + std::to_string(std::random_device()()));
    fs::create_directories(directory_);
    fs::current_path(directory_);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(directory_);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  const std::string expected_ =
      readFile(CAMERA_INFO_TEST_DATA "/report-three-cameras.txt");
  fs::path directory_;
};

TEST_F(RunCameraInfo, ReplacesTheReportWithTheCamerasFound) {
  std::ofstream(kReportFileName) << std::string(5000, '#');
  FakeDevicePlatform platform(kDevices);
  EXPECT_EQ(runCameraInfo(platform), 0);
  EXPECT_EQ(readFile(kReportFileName), expected_);
  EXPECT_EQ(files(), std::vector<std::string>{kReportFileName});
}

// Whichever allocation of the run fails, the run ends quietly with status 0,
// gives back what the platform handed out and leaves the earlier report as
// it was; only a run without a failure replaces it.
TEST_F(RunCameraInfo, AnAllocationFailingAnywhereLeavesTheEarlierReport) {
  for (long failing = 1;; ++failing) {
    SCOPED_TRACE(failing);
    std::ofstream(kReportFileName) << "earlier";
    FakeDevicePlatform platform(kDevices);
    allocations = 0;
    failingAllocation = failing;
    const int status = runCameraInfo(platform);
    failingAllocation = 0;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(platform.unclean(), "");
    EXPECT_EQ(files(), std::vector<std::string>{kReportFileName});
    if (allocations < failing) {
      EXPECT_EQ(readFile(kReportFileName), expected_);
      EXPECT_GT(failing, 20);  // the run does allocate
      break;
    }
    ASSERT_EQ(readFile(kReportFileName), "earlier");
  }
}

}  // namespace
