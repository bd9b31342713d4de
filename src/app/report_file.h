#ifndef CAMERA_INFO_APP_REPORT_FILE_H_
#define CAMERA_INFO_APP_REPORT_FILE_H_

#include <string>

/// Replaces the file `name` in the current directory with `text`, whole or
/// not at all: the text goes to a new file beside it, which takes the name's
/// place in one step once it is complete. On any failure the new file is
/// removed and whatever stood under `name` stays as it was (the limits are
/// in docs/report-file.md). Returns whether the file was replaced.
bool replaceReportFile(const char* name, const std::string& text);

#endif  // CAMERA_INFO_APP_REPORT_FILE_H_
