#ifndef CAMERA_INFO_TESTS_SUPPORT_KEPT_REPORTS_H_
#define CAMERA_INFO_TESTS_SUPPORT_KEPT_REPORTS_H_

#include <filesystem>

/// Copies a report a test produced into the directory named by the
/// environment variable CAMERA_INFO_KEEP_REPORTS, if it is set, so that the
/// reports can be checked against the report's schema afterwards. The copy
/// is named after the running test.
void keepReportForSchemaCheck(const std::filesystem::path& report);

#endif  // CAMERA_INFO_TESTS_SUPPORT_KEPT_REPORTS_H_
