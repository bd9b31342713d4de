#include "app/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "discovery/fake_device_platform.h"

namespace {

// Memory that runs out in the middle of a device, with its objects held,
// ends the run quietly with status 0; what the platform handed out is given
// back, and the earlier report stays as it was.
TEST(RunCameraInfo, AnExceptionEndsTheRunQuietly) {
  namespace fs = std::filesystem;
  const fs::path directory = fs::path(testing::TempDir()) / "camera-info-run";
  fs::create_directories(directory);
  fs::current_path(directory);
  std::ofstream(kReportFileName) << "earlier";
  FakeDevicePlatform platform({{u"a", u"A", u"Cam A"}, {u"b", u"B", u"Cam B"}});
  platform.statuses["Read#3"] = kStatusThrow;
  EXPECT_EQ(runCameraInfo(platform), 0);
  EXPECT_EQ(platform.unclean(), "");
  std::ifstream report(kReportFileName, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(report), {}), "earlier");
  report.close();
  fs::current_path(testing::TempDir());
  fs::remove_all(directory);
}

}  // namespace
