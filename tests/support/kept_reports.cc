#include "kept_reports.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

void keepReportForSchemaCheck(const fs::path& report) {
  const char* keep = std::getenv("CAMERA_INFO_KEEP_REPORTS");
  std::error_code error;
  if (keep == nullptr || !fs::is_regular_file(report, error)) return;
  const testing::TestInfo* test =
      testing::UnitTest::GetInstance()->current_test_info();
  const std::string name =
      std::string(test->test_suite_name()) + "." + test->name() + ".json";
  fs::create_directories(keep, error);
  fs::copy_file(report, fs::path(keep) / name,
                fs::copy_options::overwrite_existing, error);
  EXPECT_FALSE(error) << "keeping " << report << ": " << error.message();
}
