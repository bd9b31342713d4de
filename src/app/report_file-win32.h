#ifndef CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
#define CAMERA_INFO_APP_REPORT_FILE_WIN32_H_

#include <windows.h>

#include <string>

/// Writes `text` over the contents of `file`, open for writing, and leaves
/// the file at the text's length: the way into a report that another program
/// holds open but lets others write. Whatever Windows can refuse is tried
/// before any byte changes (docs/report-file.md says what is left where a
/// later step fails). Returns whether all of it worked.
bool overwriteFile(HANDLE file, const std::string& text);

#endif  // CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
