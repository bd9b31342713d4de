#include "app/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "discovery/scripted_device_platform.h"
#include "kept_reports.h"

namespace {

namespace fs = std::filesystem;

// Runs each test in a fresh directory of its own, since the report is
// written to the current directory.
class RunCameraInfo : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::random_device randomDevice;
    directory_ = fs::temp_directory_path() /
                 ("camera-info-run-" + std::to_string(randomDevice()));
    fs::create_directories(directory_);
    fs::current_path(directory_);
  }
  void TearDown() override {
    keepReportForSchemaCheck(kReportFileName);
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  static std::string readReport() {
    std::ifstream in(kReportFileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path previous_;
  fs::path directory_;
};

TEST_F(RunCameraInfo, WritesTheReportOfTheDevicesFound) {
  ScriptedDevice webcam;
  webcam.displayName = u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global";
  webcam.friendlyName = u"Webcam \u00e9";
  ScriptedDevicePlatform platform({webcam});

  EXPECT_EQ(runCameraInfo(platform), 0);
  EXPECT_EQ(readReport(),
            "{\n"
            "   \"cameraInfo\" : [\n"
            "      {\n"
            "         \"detail\" : "
            "\"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global\",\n"
            "         \"name\" : \"Webcam \xC3\xA9\",\n"
            "         \"pid\" : \"0825\",\n"
            "         \"vid\" : \"046d\"\n"
            "      }\n"
            "   ],\n"
            "   \"version\" : \"1.0.1\"\n"
            "}\n");
}

}  // namespace
