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
long failing = 0;  // the allocation that throws; 0 for none
}  // namespace

void* operator new(size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (++allocations == failing || memory == nullptr) {
    std::free(memory);
    throw std::bad_alloc();
  }
  return memory;
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whichever allocation of a run fails, the run ends quietly with status 0,
// gives back what the platform handed out and leaves the earlier report as
// it was, with nothing beside it; only a run without a failure replaces it.
// The devices: a nameless one between cameras with non-ASCII, quotes and a
// backslash.
TEST(RunCameraInfo, ReplacesTheReportOnlyWhenNothingFails) {
  const std::string expected =
      readFile(CAMERA_INFO_TEST_DATA "/report-three-cameras.txt");
  const fs::path directory =
      fs::path(testing::TempDir()) /
      ("camera-info-run-" + std::to_string(std::random_device()()));
  fs::create_directories(directory);
  fs::current_path(directory);
  for (long n = 1;; ++n) {
    SCOPED_TRACE(n);
    std::ofstream(kReportFileName) << "earlier";
    FakeDevicePlatform platform(
        {{u"display#int3470#4&1835d135&0&uid13424#global", u"Integrated Camera",
          u"Integrated Camera \u00e9\u4e2d\xd83d\xde00"},
         {u"sw#nameless", {}, {}},
         {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"USB Video",
          u"HD Webcam C270"},
         {u"C:\\cam/\t1", u"Cam \"Pro\"", {}}});
    allocations = 0;
    failing = n;
    ASSERT_EQ(runCameraInfo(platform), 0);
    failing = 0;
    const bool nothingFailed = allocations < n;
    EXPECT_EQ(platform.unclean(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1);
    if (nothingFailed) {
      EXPECT_EQ(readFile(kReportFileName), expected);
      EXPECT_GT(n, 20);  // the run does allocate
      break;
    }
    ASSERT_EQ(readFile(kReportFileName), "earlier");
  }
  fs::current_path(testing::TempDir());
  fs::remove_all(directory);
}

}  // namespace
