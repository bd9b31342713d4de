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
long runAllocations = 0;     // made by the last run
}  // namespace

void* operator new(size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (++allocations == failingAllocation || memory == nullptr) {
    std::free(memory);
    throw std::bad_alloc();
  }
  return memory;
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace {

namespace fs = std::filesystem;
const fs::path kDirectory =
    fs::path(testing::TempDir()) /
    ("camera-info-run-" + std::to_string(std::random_device()()));

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs, with the given allocation failing, against a nameless device between
// cameras with non-ASCII, quotes and a backslash, in a fresh directory with
// an earlier report; checks that nothing but the report is left.
int run(long failing) {
  fs::current_path(testing::TempDir());
  fs::remove_all(kDirectory);
  fs::create_directories(kDirectory);
  fs::current_path(kDirectory);
  std::ofstream(kReportFileName) << "earlier";
  FakeDevicePlatform platform(
      {{u"display#int3470#4&1835d135&0&uid13424#global", u"Integrated Camera",
        u"Integrated Camera \u00e9\u4e2d\xd83d\xde00"},
       {u"sw#nameless", {}, {}},
       {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"USB Video",
        u"HD Webcam C270"},
       {u"C:\\cam/\t1", u"Cam \"Pro\"", {}}});
  allocations = 0;
  failingAllocation = failing;
  const int status = runCameraInfo(platform);
  runAllocations = allocations;
  failingAllocation = 0;
  EXPECT_EQ(platform.unclean(), "");
  EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1);
  return status;
}

// Whichever allocation of the run fails, the run ends quietly with status 0,
// gives back what the platform handed out and leaves the earlier report as
// it was; only a run without a failure replaces it.
TEST(RunCameraInfo, ReplacesTheReportOnlyWhenNothingFails) {
  const std::string expected =
      readFile(CAMERA_INFO_TEST_DATA "/report-three-cameras.txt");
  for (long failing = 1;; ++failing) {
    SCOPED_TRACE(failing);
    ASSERT_EQ(run(failing), 0);
    if (runAllocations < failing) {
      EXPECT_EQ(readFile(kReportFileName), expected);
      EXPECT_GT(failing, 20);  // the run does allocate
      break;
    }
    ASSERT_EQ(readFile(kReportFileName), "earlier");
  }
  fs::current_path(testing::TempDir());
  fs::remove_all(kDirectory);
}

}  // namespace
