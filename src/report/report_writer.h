#ifndef CAMERA_INFO_REPORT_REPORT_WRITER_H_
#define CAMERA_INFO_REPORT_REPORT_WRITER_H_

#include <json/value.h>

#include <string>

/// Renders the report document `root`: an object whose members are strings
/// or non-empty arrays of cameras, a camera being an object of exactly the
/// string members "detail", "name", "pid" and "vid". The layout is that of
/// jsoncpp's StyledWriter for such a document (three-space indentation,
/// " : " separators, members sorted by key bytes, line feeds, a final line
/// feed); in strings, bytes 0x80 and above are copied unchanged and control
/// bytes without a short escape become \u00XX with upper-case hex digits, so
/// the text never holds a zero byte. Any other tree throws Json::LogicError.
std::string renderCameraReport(const Json::Value& root);

#endif  // CAMERA_INFO_REPORT_REPORT_WRITER_H_
