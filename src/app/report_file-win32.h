#ifndef CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
#define CAMERA_INFO_APP_REPORT_FILE_WIN32_H_

#include <windows.h>

#include <string>

/// Writes `text` over the contents of `file`, open for writing, and cuts the
/// file to the text's length: the way into a report that another program
/// holds open but lets others write. The bytes past the old end go first, so
/// that a disk without room for them fails before any earlier byte has
/// changed (the file is then cut back to its old length); the rest goes over
/// the old bytes, which takes no new room. Returns whether all of it worked.
bool overwriteFile(HANDLE file, const std::string& text);

#endif  // CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
