// Runs the whole program once for every allocation it makes, with exactly
// that allocation failing, and checks that it stays silent, exits with 0 and
// never leaves a damaged report: the file is either the earlier report,
// untouched, or the complete new one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

const char kEarlierReport[] = "{\n   \"version\" : \"0.9\"\n}\n";

// The report of the probe's three fixed devices (the second has no name).
const char kFullReport[] =
    "{\n"
    "   \"cameraInfo\" : [\n"
    "      {\n"
    "         \"detail\" : "
    "\"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global\",\n"
    "         \"name\" : \"HD Webcam C270\",\n"
    "         \"pid\" : \"0825\",\n"
    "         \"vid\" : \"046d\"\n"
    "      },\n"
    "      {\n"
    "         \"detail\" : \"display#int3470#4&1835d135&0&uid13424#global\",\n"
    "         \"name\" : \"Integrated Camera \xC3\xA9\xE4\xB8\xAD\",\n"
    "         \"pid\" : \"13424\",\n"
    "         \"vid\" : \"3470\"\n"
    "      }\n"
    "   ],\n"
    "   \"version\" : \"1.0.1\"\n"
    "}\n";

TEST(AllocationFailure, EveryAllocationFailingLeavesNoDamage) {
  const fs::path directory = makeTemporaryDirectory("camera-info-alloc");
  ASSERT_FALSE(directory.empty());
  const fs::path run = directory / "run";
  const fs::path report = run / "CameraInfo.txt";
  const fs::path countFile = directory / "count";
  fs::create_directory(run);

  const ChildOutcome clean =
      runChild(ALLOC_FAILURE_PROBE, {"0", countFile.string()}, run, directory);
  ASSERT_EQ(clean.exitStatus, 0);
  EXPECT_EQ(readWholeFile(report), kFullReport);
  const long allocations = std::stol(readWholeFile(countFile));
  ASSERT_GT(allocations, 10);

  int untouched = 0;
  int complete = 0;
  for (long failAt = 1; failAt <= allocations; ++failAt) {
    SCOPED_TRACE(testing::Message() << "allocation " << failAt << " of "
                                    << allocations << " fails");
    std::ofstream(report, std::ios::binary | std::ios::trunc) << kEarlierReport;
    const ChildOutcome outcome =
        runChild(ALLOC_FAILURE_PROBE,
                 {std::to_string(failAt), countFile.string()}, run, directory);
    EXPECT_EQ(outcome.exitStatus, 0);  // 3 would mean a resource left held
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");
    const std::string text = readWholeFile(report);
    if (text == kEarlierReport) {
      ++untouched;
    } else {
      EXPECT_EQ(text, kFullReport);
      ++complete;
    }
  }
  // Failures before the file is opened leave the earlier report; none of
  // the allocations lies after the complete text is written.
  EXPECT_GT(untouched, 0);
  RecordProperty("allocations", static_cast<int>(allocations));
  std::cout << allocations << " allocations: " << untouched
            << " runs left the earlier report, " << complete
            << " wrote the complete new one\n";
  fs::remove_all(directory);
}

}  // namespace
