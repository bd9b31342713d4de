#ifndef CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
#define CAMERA_INFO_APP_REPORT_FILE_WIN32_H_

#include <windows.h>

#include <string>

/// Writes `text` over the contents of `file`, open for writing, and leaves
/// the file at the text's length: the way into a report that another program
/// holds open but lets others write. Whatever Windows can refuse is tried
/// before any byte changes: a lock over the whole file (another program's
/// byte-range lock refuses it), then, for a shorter text, the cut to its
/// length (a mapped file refuses it), or, for a longer one, the bytes past
/// the old end (a full disk refuses them). Only then does the rest go over
/// the old bytes. Returns whether all of it worked. Where it did not, the
/// file is as it was, unless a write failed after the first change (an I/O
/// or network error): a longer text leaves the old length with part of the
/// new head, a shorter one the old bytes cut to the new length.
bool overwriteFile(HANDLE file, const std::string& text);

#endif  // CAMERA_INFO_APP_REPORT_FILE_WIN32_H_
